// The simulator's measurement noise, drawn from the C library's rand().
// The component never seeds the generator, so a host that seeds it gets a
// repeatable sequence.
//
// Thread safety: as rand(); call on the client's thread only.
#ifndef Q7K_SIMULATOR_NOISE_H_
#define Q7K_SIMULATOR_NOISE_H_

namespace q7k {

// lo + (rand() modulo (hi - lo + 1)); lo when hi < lo.
int RandomInt(int lo, int hi);

// A random value of up to |a| in magnitude with two significant digits: |a|
// is scaled by powers of ten into 10..100, n is its integer part, and a
// uniform draw from -n..n is scaled back. 0.0 (drawing nothing) when fast
// or quiet is set, or |a| is outside 1e-16..1e16 or not a number.
double Noise(double a, bool quiet, bool fast);

}  // namespace q7k

#endif  // Q7K_SIMULATOR_NOISE_H_
