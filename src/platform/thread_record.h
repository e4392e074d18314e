// The calling thread's record (the process has one kind: error
// information, error_info.cc), made on first use and released when its
// thread ends. Kept per platform: on Windows not as a C++ thread_local,
// whose destructor there ran after its storage was freed, so that every
// thread that had held a record corrupted the heap when it ended.
//
// Thread safety: each thread sees only its own record. Every caller passes
// the same two functions.
#ifndef Q7K_PLATFORM_THREAD_RECORD_H_
#define Q7K_PLATFORM_THREAD_RECORD_H_

namespace q7k {

void* ThreadRecord(void* (*make)(), void (*release)(void*));

}  // namespace q7k

#endif  // Q7K_PLATFORM_THREAD_RECORD_H_
