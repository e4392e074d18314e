// q7kcomm/q7kcomm.h: everything a host needs to drive the Q7kComm component.
#ifndef Q7KCOMM_Q7KCOMM_H_
#define Q7KCOMM_Q7KCOMM_H_

#include "q7kcomm/com.h"
#include "q7kcomm/host.h"
#include "q7kcomm/interfaces.h"
#include "q7kcomm/types.h"

#endif  // Q7KCOMM_Q7KCOMM_H_
