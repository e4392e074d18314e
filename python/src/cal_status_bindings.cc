#include "bindings.h"

namespace q7k::python {

void BindCalStatus(CommClass& c) {
  // Read-only indexed properties: get_X(i).
  Q7K_PY_METHOD(c, IQ7kCalStatus, get_CalStatus);
  Q7K_PY_METHOD(c, IQ7kCalStatus, get_ChecksumStatus);
  Q7K_PY_METHOD(c, IQ7kCalStatus, get_ReportedStatus);
  Q7K_PY_METHOD(c, IQ7kCalStatus, get_CalNumFactors);
  Q7K_PY_METHOD(c, IQ7kCalStatus, get_CalValidFactors);
  Q7K_PY_METHOD(c, IQ7kCalStatus, get_CalSerialNumError);
  Q7K_PY_METHOD(c, IQ7kCalStatus, get_CalStatusError);
  Q7K_PY_METHOD(c, IQ7kCalStatus, get_CalSerialNumber);
  Q7K_PY_METHOD(c, IQ7kCalStatus, get_CalDone);
  Q7K_PY_METHOD(c, IQ7kCalStatus, get_CalDate);
  Q7K_PY_METHOD(c, IQ7kCalStatus, InitCalStatusData);
  Q7K_PY_METHOD(c, IQ7kCalStatus, TraceCalStatusData);
  Q7K_PY_METHOD(c, IQ7kCalStatus, CheckCalStatus);
}

}  // namespace q7k::python
