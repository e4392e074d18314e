// What the platform the tests run on can show, for the few tests that
// depend on it (posix_test_platform.cc, win32_test_platform.cc).
//
// Thread safety: safe from any thread.
#ifndef Q7K_TESTS_SUPPORT_TEST_PLATFORM_H_
#define Q7K_TESTS_SUPPORT_TEST_PLATFORM_H_

namespace q7k {

// True when Windows code runs under wine: behaviour wine does not reproduce
// is skipped there, with the reason, never faked.
bool RunningUnderWine();
// True where a process may remove its own current directory.
bool CanRemoveCurrentDirectory();
// True where two names that differ only in case name one file.
bool FileNamesIgnoreCase();

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_TEST_PLATFORM_H_
