// The file system's side of recording files: where Q7K_RECORD points, the
// one spelling of a name that claims compare, and opening a file. A path
// is 8-bit text in the host code page (platform/codepage.h) as the host's
// other texts are; Windows opens it through its UTF-16 form.
//
// Thread safety: safe from any thread.
#ifndef Q7K_LINK_RECORDING_FILE_H_
#define Q7K_LINK_RECORDING_FILE_H_

#include <cstdio>
#include <string>

namespace q7k {

// Q7K_RECORD as the process's environment holds it now; empty when unset.
std::string RecordingPathFromEnvironment();
// path made absolute against the current directory; path itself when that
// fails.
std::string AbsoluteRecordingName(const std::string& path);
// Two names of one file give one key (Windows: either separator, any
// case).
std::string RecordingNameKey(const std::string& absoluteName);
// Whether c ends a directory (or drive) part of a name.
bool IsRecordingNameSeparator(char c);
// fopen for a recording name; mode as fopen's, always binary.
std::FILE* OpenRecordingFile(const std::string& name, const char* mode);

}  // namespace q7k

#endif  // Q7K_LINK_RECORDING_FILE_H_
