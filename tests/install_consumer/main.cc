// Creates the component through the installed headers and library.
#include <q7kcomm/q7kcomm.h>

#include <cstdio>

#if defined(HOST_STANDARD) && __cplusplus != HOST_STANDARD
#error "the package's compile flags changed the host's language standard"
#endif

int main() {
  q7k::ComPtr<q7k::IQ7kComm> comm;
  if (q7k::CreateInstance("Veltrax.Q7kComm", q7k::IID_IQ7kComm,
                          comm.AsVoidOut()) != q7k::S_OK) {
    return 1;
  }
  q7k::Bstr version;
  if (comm->get_Version(version.out()) != q7k::S_OK) return 2;
  std::printf("%s\n", version.utf8().c_str());
  return version.utf8() == "1.00.15" ? 0 : 3;
}
