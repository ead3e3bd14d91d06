#pragma once
// Whether the process runs under a sanitizer whose allocator changes what
// the process holds: the address sanitizer keeps freed memory in quarantine
// (and hands it out again later), and the thread sanitizer shadows what the
// process maps. Tests of memory bounds, which count the growth of the
// process's resident memory, read it.

namespace qbtest {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizedAllocator = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitizedAllocator = true;
#else
inline constexpr bool kSanitizedAllocator = false;
#endif
#else
inline constexpr bool kSanitizedAllocator = false;
#endif

}  // namespace qbtest
