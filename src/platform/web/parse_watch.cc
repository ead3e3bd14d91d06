#include "platform/web/parse_watch.h"

#include <dlfcn.h>
#include <gumbo.h>
#include <link.h>
#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform::web_internal {

namespace {

using SignalHandler = void (*)(int, siginfo_t*, void*);

std::atomic<int> parseSignal{0};
std::atomic<SignalHandler> parseHandler{nullptr};

// gumbo's library as loaded: its base and program headers.
struct ParserLibrary {
  ElfW(Addr) base = 0;
  const ElfW(Phdr)* headers = nullptr;
  int count = 0;
};

// Finds the loaded library whose segments hold `address`; false when that is
// the program itself (gumbo linked into it) or nothing holds it.
bool findLibraryOf(const void* address, ParserLibrary& out) {
  struct Search {
    ElfW(Addr) address;
    ParserLibrary* out;
    bool found;
  } search{reinterpret_cast<ElfW(Addr)>(address), &out, false};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) -> int {
        auto* s = static_cast<Search*>(data);
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const ElfW(Phdr)& h = info->dlpi_phdr[i];
          if (h.p_type != PT_LOAD) continue;
          const ElfW(Addr) start = info->dlpi_addr + h.p_vaddr;
          if (s->address < start || s->address >= start + h.p_memsz) continue;
          // The program's own name is empty: its code is not all gumbo's.
          if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 1;
          s->out->base = info->dlpi_addr;
          s->out->headers = info->dlpi_phdr;
          s->out->count = info->dlpi_phnum;
          s->found = true;
          return 1;
        }
        return 0;
      },
      &search);
  return search.found;
}

bool findParserLibrary(ParserLibrary& out) {
  return findLibraryOf(reinterpret_cast<const void*>(&gumbo_parse_with_options), out);
}

// gumbo's executable segments, found before the first tick can ask.
struct CodeRange {
  uintptr_t start;
  uintptr_t end;
};
std::array<CodeRange, 4> parserCode{};
std::atomic<int> parserCodeRanges{0};

void locateParserCode() {
  ParserLibrary library;
  if (!findParserLibrary(library)) return;
  int n = 0;
  for (int i = 0; i < library.count && n < static_cast<int>(parserCode.size()); ++i) {
    const ElfW(Phdr)& h = library.headers[i];
    if (h.p_type != PT_LOAD || !(h.p_flags & PF_X)) continue;
    parserCode[static_cast<size_t>(n++)] = {library.base + h.p_vaddr, library.base + h.p_vaddr + h.p_memsz};
  }
  parserCodeRanges.store(n, std::memory_order_release);
}

timespec toTimespec(double ms) {
  const auto ns = static_cast<long long>(ms * 1e6);
  return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

int installParseSignal(SignalHandler handler) {
  static const int chosen = [handler] {
    locateParserCode();
    // Real-time signals: none has a meaning of its own, and an application
    // that uses one installs its handler first.
    for (int s = SIGRTMAX; s >= SIGRTMIN; --s) {
      struct sigaction current {};
      if (sigaction(s, nullptr, &current) != 0) continue;
      if (current.sa_flags & SA_SIGINFO || current.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_sigaction = handler;
      action.sa_flags = SA_SIGINFO | SA_RESTART;
      sigemptyset(&action.sa_mask);
      if (sigaction(s, &action, nullptr) != 0) continue;
      parseHandler.store(handler);
      parseSignal.store(s);
      return s;
    }
    return 0;
  }();
  return chosen;
}

bool parseSignalIsOurs() {
  const int s = parseSignal.load();
  if (s == 0) return false;
  struct sigaction current {};
  return sigaction(s, nullptr, &current) == 0 && current.sa_flags & SA_SIGINFO &&
         current.sa_sigaction == parseHandler.load();
}

ParseTicker::ParseTicker(double periodMs) {
  const int s = parseSignal.load();
  // A default action of a real-time signal ends the process: never tick
  // into a handler that is not ours.
  if (periodMs <= 0 || s == 0 || !parseSignalIsOurs()) return;
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, s);
  sigset_t current;
  if (pthread_sigmask(SIG_BLOCK, nullptr, &current) == 0 && sigismember(&current, s) == 1)
    unblocked_ = pthread_sigmask(SIG_UNBLOCK, &only, nullptr) == 0;
  sigevent event{};
  event.sigev_notify = SIGEV_THREAD_ID;
  event.sigev_signo = s;
  event._sigev_un._tid = gettid();
  if (timer_create(CLOCK_THREAD_CPUTIME_ID, &event, &timer_) == 0) {
    itimerspec every{};
    every.it_value = every.it_interval = toTimespec(periodMs);
    armed_ = timer_settime(timer_, 0, &every, nullptr) == 0;
    if (!armed_) timer_delete(timer_);
  }
  if (!armed_ && unblocked_) {
    pthread_sigmask(SIG_BLOCK, &only, nullptr);
    unblocked_ = false;
  }
}

ParseTicker::~ParseTicker() {
  if (armed_) timer_delete(timer_);
  if (unblocked_) {
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, parseSignal.load());
    pthread_sigmask(SIG_BLOCK, &only, nullptr);
  }
}

uintptr_t interruptedAddress(const void* context) {
  const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.pc);
#else
  (void)uc;
  return 0;  // never the parser's: the end waits for its next allocation
#endif
}

bool inParserCode(uintptr_t address) {
  const int n = parserCodeRanges.load(std::memory_order_acquire);
  for (int i = 0; i < n; ++i) {
    const CodeRange& r = parserCode[static_cast<size_t>(i)];
    if (address >= r.start && address < r.end) return true;
  }
  return false;
}

namespace {

// The slots of gumbo's relocation tables that hold the address of the C
// library's assertion routine (its calls go through them).
std::vector<void**> assertionSlots(const ParserLibrary& library) {
  std::vector<void**> slots;
  const ElfW(Dyn)* dynamic = nullptr;
  for (int i = 0; i < library.count; ++i)
    if (library.headers[i].p_type == PT_DYNAMIC)
      dynamic = reinterpret_cast<const ElfW(Dyn)*>(library.base + library.headers[i].p_vaddr);
  if (!dynamic) return slots;
  // The loader rewrites these as addresses on some systems and leaves them
  // as offsets on others.
  auto at = [&library](ElfW(Addr) p) { return p < library.base ? library.base + p : p; };
  const ElfW(Sym)* symbols = nullptr;
  const char* names = nullptr;
  ElfW(Addr) plt = 0, rela = 0;
  size_t pltBytes = 0, relaBytes = 0;
  bool pltIsRela = true;
  for (const ElfW(Dyn)* d = dynamic; d->d_tag != DT_NULL; ++d) {
    switch (d->d_tag) {
      case DT_SYMTAB: symbols = reinterpret_cast<const ElfW(Sym)*>(at(d->d_un.d_ptr)); break;
      case DT_STRTAB: names = reinterpret_cast<const char*>(at(d->d_un.d_ptr)); break;
      case DT_JMPREL: plt = at(d->d_un.d_ptr); break;
      case DT_PLTRELSZ: pltBytes = d->d_un.d_val; break;
      case DT_PLTREL: pltIsRela = d->d_un.d_val == DT_RELA; break;
      case DT_RELA: rela = at(d->d_un.d_ptr); break;
      case DT_RELASZ: relaBytes = d->d_un.d_val; break;
      default: break;
    }
  }
  if (!symbols || !names) return slots;
  auto scan = [&](ElfW(Addr) table, size_t bytes) {
    const auto* r = reinterpret_cast<const ElfW(Rela)*>(table);
    for (size_t k = 0; k < bytes / sizeof(ElfW(Rela)); ++k) {
#if defined(__LP64__)
      const auto symbol = ELF64_R_SYM(r[k].r_info);
#else
      const auto symbol = ELF32_R_SYM(r[k].r_info);
#endif
      if (symbol == 0 || std::strcmp(names + symbols[symbol].st_name, "__assert_fail") != 0) continue;
      slots.push_back(reinterpret_cast<void**>(library.base + r[k].r_offset));
    }
  };
  if (plt && pltIsRela) scan(plt, pltBytes);
  if (rela) scan(rela, relaBytes);
  return slots;
}

// The protection the slot's segment had once the loader was done with it
// (read only when it lies in the part made read-only after relocation).
int protectionOf(const ParserLibrary& library, ElfW(Addr) address) {
  int protection = PROT_READ | PROT_WRITE;
  for (int i = 0; i < library.count; ++i) {
    const ElfW(Phdr)& h = library.headers[i];
    const ElfW(Addr) start = library.base + h.p_vaddr;
    if (address < start || address >= start + h.p_memsz) continue;
    if (h.p_type == PT_GNU_RELRO) return PROT_READ;
    if (h.p_type == PT_LOAD)
      protection = (h.p_flags & PF_R ? PROT_READ : 0) | (h.p_flags & PF_W ? PROT_WRITE : 0);
  }
  return protection;
}

}  // namespace

AssertionRoutine redirectParserAssertions(AssertionRoutine routine) {
  static const AssertionRoutine before = [routine]() -> AssertionRoutine {
    ParserLibrary library;
    if (!findParserLibrary(library)) return nullptr;
    // What gumbo's calls reach once bound (the slots may still hold the
    // loader's binding stub).
    auto* original = reinterpret_cast<AssertionRoutine>(dlsym(RTLD_DEFAULT, "__assert_fail"));
    const auto slots = assertionSlots(library);
    if (!original || slots.empty()) return nullptr;
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    for (void** slot : slots) {
      const auto address = reinterpret_cast<uintptr_t>(slot);
      void* first = reinterpret_cast<void*>(address & ~(page - 1));
      const size_t length = address + sizeof(void*) - (address & ~(page - 1));
      const int protection = protectionOf(library, address);
      if (!(protection & PROT_WRITE) && mprotect(first, length, PROT_READ | PROT_WRITE) != 0) return nullptr;
      __atomic_store_n(slot, reinterpret_cast<void*>(routine), __ATOMIC_RELEASE);
      if (!(protection & PROT_WRITE)) mprotect(first, length, protection);
    }
    return original;
  }();
  return before;
}

}  // namespace platform::web_internal
