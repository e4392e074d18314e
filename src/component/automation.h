// Late binding for script and automation hosts, where the platform has it:
// an IDispatch answering for an object's IQ7kComm by name, driven by the
// type library embedded in the module.
#ifndef Q7K_COMPONENT_AUTOMATION_H_
#define Q7K_COMPONENT_AUTOMATION_H_

#include "q7kcomm/interfaces.h"

namespace q7k {

// What QueryInterface answers for an iid the object does not implement
// itself: a new IDispatch for object when iid asks for one and the
// platform and module offer it, else E_NOINTERFACE with *ppv null.
HRESULT QueryAutomation(IQ7kComm* object, const GUID& iid, void** ppv);

}  // namespace q7k

#endif  // Q7K_COMPONENT_AUTOMATION_H_
