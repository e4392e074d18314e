// ClientLog: the text file a client writes its own lines to through the
// component (IQ7kLog).
//
// The file is named by the client (relative names resolve against the current
// directory) and written in the host's 8-bit code page. A new file begins
// with its own name (no line end); every BeginLog appends "\n" and a time
// line "Www Mmm DD hh:mm:ss YYYY\n"; every WriteToLog appends the entry and
// "\n". Each call opens the file, appends and closes it again. Failures to
// open or write are silent: the client's calls always succeed. No size limit,
// no backup.
//
// Thread safety: none; used on the client's thread only.
#ifndef Q7K_LOG_CLIENT_LOG_H_
#define Q7K_LOG_CLIENT_LOG_H_

#include <string>
#include <string_view>

namespace q7k {

class ClientLog {
 public:
  // The stored file name; empty when none was given.
  const std::u16string& Name() const { return name_; }
  // Replaces the stored name; no file is touched.
  void SetName(std::u16string_view name) { name_ = name; }

  // Stores name, creates the file (holding its name) when it does not exist,
  // then appends a line feed and the time line of CurrentClock().
  void BeginLog(std::u16string_view name);

  // Appends entry and a line feed to the named file; does nothing while the
  // stored name is empty.
  void WriteToLog(std::u16string_view entry) const;

 private:
  std::u16string name_;
};

}  // namespace q7k

#endif  // Q7K_LOG_CLIENT_LOG_H_
