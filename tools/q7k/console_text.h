// Standard output and error carry UTF-8 on every platform, the same bytes
// whether they go to a file, a pipe or a screen (--json is UTF-8 anyway).
// Where a console shows bytes in a code page of its own (Windows), it is
// switched to UTF-8 while the tool runs.
#ifndef Q7K_TOOLS_Q7K_CONSOLE_TEXT_H_
#define Q7K_TOOLS_Q7K_CONSOLE_TEXT_H_

namespace q7k::tool {

class ConsoleText {
 public:
  ConsoleText();
  ~ConsoleText();  // gives the console its own code page back
  ConsoleText(const ConsoleText&) = delete;
  ConsoleText& operator=(const ConsoleText&) = delete;
};

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_CONSOLE_TEXT_H_
