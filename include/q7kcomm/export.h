// q7kcomm/export.h: marks the names the library exports. The shared library
// is built with hidden visibility, so a name without Q7K_API stays inside.
//
// Q7K_BUILDING_LIBRARY is defined while the library itself is compiled;
// Q7K_STATIC by programs that link the static internal library, where
// nothing is imported.
#ifndef Q7KCOMM_EXPORT_H_
#define Q7KCOMM_EXPORT_H_

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(Q7K_BUILDING_LIBRARY)
#define Q7K_API __declspec(dllexport)
#elif defined(Q7K_STATIC)
#define Q7K_API
#else
#define Q7K_API __declspec(dllimport)
#endif
#else
#define Q7K_API __attribute__((visibility("default")))
#endif

#endif  // Q7KCOMM_EXPORT_H_
