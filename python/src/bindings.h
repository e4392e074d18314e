// The parts of the extension module, one per interface and one for what
// surrounds them.
#ifndef Q7K_PYTHON_BINDINGS_H_
#define Q7K_PYTHON_BINDINGS_H_

#include "call.h"

namespace q7k::python {

using CommClass = py::class_<Comm>;

void BindRecords(py::module_& m);
void BindEnumerations(py::module_& m);
void BindComm(CommClass& cls);
void BindCalStatus(CommClass& cls);
void BindEeprom(CommClass& cls);
void BindLog(CommClass& cls);
void BindHost(py::module_& m);

}  // namespace q7k::python

#endif  // Q7K_PYTHON_BINDINGS_H_
