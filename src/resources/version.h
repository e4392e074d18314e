// The component's version text, written into trace entries and reported by
// the Version property.
#ifndef Q7K_RESOURCES_VERSION_H_
#define Q7K_RESOURCES_VERSION_H_

namespace q7k {

inline constexpr const char kComponentVersion[] = "1.00.15";
inline constexpr const char kProgId[] = "Veltrax.Q7kComm.1";
inline constexpr const char kVersionIndependentProgId[] = "Veltrax.Q7kComm";

}  // namespace q7k

#endif  // Q7K_RESOURCES_VERSION_H_
