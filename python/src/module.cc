// q7kcomm._q7kcomm: the component's interfaces one to one. The package
// q7kcomm builds the Pythonic layer on it.
#include "bindings.h"

PYBIND11_MODULE(_q7kcomm, m) {
  using namespace q7k::python;
  m.doc() =
      "The Q7kComm component's four interfaces one to one. A failed call "
      "raises q7kcomm.Error; a call returns its out values (a tuple for "
      "several) or, with none, its HRESULT.";
  // The package's version is the build's, as its Debian package's is.
  m.attr("__version__") = Q7K_PACKAGE_VERSION;
  BindRecords(m);
  BindEnumerations(m);
  CommClass cls(m, "Q7kComm",
                "One component object with the methods and properties of "
                "IQ7kComm, IQ7kCalStatus, IQ7kEeprom and IQ7kLog.");
  cls.def(py::init<>())
      .def("release", &Comm::Release,
           "Closes the port and drops the component object now.")
      .def_property_readonly("released",
                             [](const Comm& c) { return !c.comm; });
  BindComm(cls);
  BindCalStatus(cls);
  BindEeprom(cls);
  BindLog(cls);
  BindHost(m);
}
