// ChildProcess: another program run by the benchmarks (the virtual
// instrument, the pyserial client, the q7k tool), with its standard output
// read line by line, optionally lines written to its standard input, and its
// peak memory taken when it ends.
//
// Thread safety: one thread per object.
#ifndef Q7K_BENCH_CHILD_PROCESS_H_
#define Q7K_BENCH_CHILD_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace q7k {
namespace bench {

class ChildProcess {
 public:
  // Starts argv[0] (a path) with the arguments; ok() tells whether it ran.
  // With input, its standard input is a pipe for WriteLine (closed when
  // the object goes); otherwise it inherits this process's.
  explicit ChildProcess(const std::vector<std::string>& argv,
                        bool input = false);
  // Stops it with SIGTERM if it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool ok() const { return pid_ > 0; }
  // The next line of its standard output, without the newline; false at
  // the end of its output.
  bool ReadLine(std::string* line);
  // Writes line and a newline to its standard input; false if it cannot.
  bool WriteLine(const std::string& line);
  // Sends SIGTERM (unless it ended already) and reaps it. Returns its exit
  // status as waitpid reports it.
  int Stop();
  // Waits for it to end by itself. Returns its exit status.
  int Wait();
  // Peak resident memory in KiB, once it was reaped.
  long peakRssKiB() const { return peakRssKiB_; }

 private:
  int Reap();

  pid_t pid_ = -1;
  int out_ = -1;
  int in_ = -1;
  std::string buffered_;
  long peakRssKiB_ = 0;
  int status_ = 0;
};

}  // namespace bench
}  // namespace q7k

#endif  // Q7K_BENCH_CHILD_PROCESS_H_
