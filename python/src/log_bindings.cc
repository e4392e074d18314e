#include "bindings.h"

namespace q7k::python {

void BindLog(CommClass& c) {
  Q7K_PY_PROPERTY(c, IQ7kLog, LogFilename);
  Q7K_PY_METHOD(c, IQ7kLog, BeginLog);
  Q7K_PY_METHOD(c, IQ7kLog, WriteToLog);
}

}  // namespace q7k::python
