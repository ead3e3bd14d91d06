#include "platform/web/parse_watch.h"

#include <gumbo.h>
#include <link.h>
#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform::web_internal {

namespace {

std::atomic<ParseTickHandler> tickHandler{nullptr};

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

// The parse signal: taken at the first ticker, taken anew when the
// application has put its own handler there since. Its number is read by
// tickers alone, under the lock.
std::mutex signalMutex;
int parseSignal = 0;

// The signals the application took from the ticks: never taken again.
sigset_t& leftSignals() {
  static sigset_t left = [] {
    sigset_t set;
    sigemptyset(&set);
    return set;
  }();
  return left;
}

bool hasOurHandler(int s) {
  struct sigaction current {};
  return sigaction(s, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) != 0 &&
         current.sa_sigaction == tickHandler.load();
}

// The highest real-time signal with the default action that the calling
// thread does not block, given the ticks' handler; 0 when there is none. (An
// application that takes a signal with sigwait or a signalfd blocks it,
// and leaves the default action; one that handles it has a handler there.)
int takeFreeSignal(const sigset_t& blocked) {
  for (int s = SIGRTMAX; s >= SIGRTMIN; --s) {
    if (sigismember(&blocked, s) == 1 || sigismember(&leftSignals(), s) == 1) continue;
    struct sigaction current {};
    if (sigaction(s, nullptr, &current) != 0) continue;
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_sigaction = tickHandler.load();
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (sigaction(s, &action, nullptr) == 0) return s;
  }
  return 0;
}

}  // namespace

void setParseTickHandler(ParseTickHandler handler) {
  static std::once_flag once;
  std::call_once(once, [handler] {
    locateParserCode();
    tickHandler.store(handler);
  });
}

ParseTicker::ParseTicker(double periodMs) {
  if (periodMs <= 0 || tickHandler.load() == nullptr) return;
  sigset_t blocked;
  if (pthread_sigmask(SIG_BLOCK, nullptr, &blocked) != 0) sigfillset(&blocked);
  {
    std::lock_guard lock(signalMutex);
    if (parseSignal != 0 && !hasOurHandler(parseSignal)) {
      movedFrom_ = parseSignal;
      sigaddset(&leftSignals(), parseSignal);
      parseSignal = 0;
    }
    if (parseSignal == 0) parseSignal = takeFreeSignal(blocked);
    signal_ = parseSignal;
  }
  if (signal_ == 0) {
    off_ = TicksOff::NoFreeSignal;
    return;
  }
  // Never unblocked: a signal blocked here is someone's to wait for.
  if (sigismember(&blocked, signal_) == 1) {
    off_ = TicksOff::SignalBlocked;
    return;
  }
  sigevent event{};
  event.sigev_notify = SIGEV_THREAD_ID;
  event.sigev_signo = signal_;
  event._sigev_un._tid = gettid();
  if (timer_create(CLOCK_THREAD_CPUTIME_ID, &event, &timer_) != 0) {
    error_ = errno;
    off_ = TicksOff::NoTimer;
    return;
  }
  armed_ = true;
  rearm(periodMs);
}

ParseTicker::~ParseTicker() {
  if (armed_) timer_delete(timer_);
}

void ParseTicker::rearm(double periodMs) const {
  if (!armed_) return;
  // One tick at a time, each set by the handler of the last: a handler
  // that is not ours (put there during a parse) gets one tick at most.
  itimerspec next{};
  next.it_value = toTimespec(periodMs);
  timer_settime(timer_, 0, &next, nullptr);
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

// A slot of gumbo's relocation tables that holds the address of one of the
// routines asked for (its calls go through it).
struct Slot {
  void** at;
  int call;  // its index in the calls asked for
};

std::vector<Slot> slotsOf(const ParserLibrary& library, const ParserCall* calls, int count) {
  std::vector<Slot> slots;
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
      if (symbol == 0) continue;
      for (int c = 0; c < count; ++c)
        if (std::strcmp(names + symbols[symbol].st_name, calls[c].name) == 0)
          slots.push_back(Slot{reinterpret_cast<void**>(library.base + r[k].r_offset), c});
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

void rebindParserCalls(ParserCall* calls, int count) {
  ParserLibrary library;
  if (!findParserLibrary(library)) return;
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  std::vector<bool> failed(static_cast<size_t>(count), false);
  const auto slots = slotsOf(library, calls, count);
  for (const Slot& slot : slots) {
    const auto address = reinterpret_cast<uintptr_t>(slot.at);
    void* first = reinterpret_cast<void*>(address & ~(page - 1));
    const size_t length = address + sizeof(void*) - (address & ~(page - 1));
    const int protection = protectionOf(library, address);
    if (!(protection & PROT_WRITE) && mprotect(first, length, PROT_READ | PROT_WRITE) != 0) {
      failed[static_cast<size_t>(slot.call)] = true;
      continue;
    }
    __atomic_store_n(slot.at, calls[slot.call].routine, __ATOMIC_RELEASE);
    if (!(protection & PROT_WRITE)) mprotect(first, length, protection);
  }
  // Bound where every one of its slots was (a call left to the C library
  // would still reach it).
  for (const Slot& slot : slots) calls[slot.call].bound = !failed[static_cast<size_t>(slot.call)];
}

}  // namespace platform::web_internal
