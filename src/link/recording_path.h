// Where a port's session recording goes: the host's SetRecordingPath
// (q7kcomm/host.h), else the environment variable Q7K_RECORD, read at each
// port creation; and the claim that keeps two open recordings of this
// process off one file.
//
// Thread safety: safe from any thread; the hook and the claims are guarded
// by one lock.
#ifndef Q7K_LINK_RECORDING_PATH_H_
#define Q7K_LINK_RECORDING_PATH_H_

#include <optional>
#include <string>

namespace q7k {

// The recording path a port created now uses; empty: none.
std::string RecordingPathSetting();

// A file one open recording holds. The first free name of: path itself,
// path with "-COM<n>" before its extension (comNumber given), then with
// "-2" ... "-9". claimed is empty when all are held. firstUse tells
// whether this process opens the file for the first time (it then starts
// it afresh; later recordings append).
struct RecordingFileClaim {
  std::string claimed;
  bool firstUse = false;
};
RecordingFileClaim ClaimRecordingFile(const std::string& path,
                                      std::optional<int> comNumber);
void ReleaseRecordingFile(const std::string& claimed);

}  // namespace q7k

#endif  // Q7K_LINK_RECORDING_PATH_H_
