#include <pybind11/stl.h>

#include <array>

#include "bindings.h"

namespace q7k::python {
namespace {

using Words = std::array<short, 32>;
using Floats = std::array<float, 16>;

// The block transfers: 32 words or 16 floats, checked by the conversion.
void BindBlocks(CommClass& c) {
  c.def("Read32", [](const Comm& x, short slot, short subslot, short start,
                     short sum) {
    IQ7kEeprom* p = Live<IQ7kEeprom>(x);
    Words words{};
    Run(x, [&] { return p->Read32(slot, subslot, start, words.data(), &sum); });
    return std::make_pair(words, sum);
  }, "The 32 words from start, and sum with them added (16-bit).");
  c.def("Write32", [](const Comm& x, short slot, short subslot, short start,
                      const Words& words) {
    IQ7kEeprom* p = Live<IQ7kEeprom>(x);
    return Run(x, [&] { return p->Write32(slot, subslot, start, words.data()); });
  });
  c.def("SafeWrite32", [](const Comm& x, short slot, short subslot, short start,
                          const Words& words) {
    IQ7kEeprom* p = Live<IQ7kEeprom>(x);
    return Run(x, [&] { return p->SafeWrite32(slot, subslot, start, words.data()); });
  });
  c.def("ReadFloat16", [](const Comm& x, short slot, short subslot, short start) {
    IQ7kEeprom* p = Live<IQ7kEeprom>(x);
    Floats values{};
    Run(x, [&] { return p->ReadFloat16(slot, subslot, start, values.data()); });
    return values;
  });
  c.def("WriteFloat16", [](const Comm& x, short slot, short subslot, short start,
                           const Floats& values) {
    IQ7kEeprom* p = Live<IQ7kEeprom>(x);
    return Run(x, [&] { return p->WriteFloat16(slot, subslot, start, values.data()); });
  });
  c.def("SafeWriteFloat16", [](const Comm& x, short slot, short subslot,
                               short start, const Floats& values) {
    IQ7kEeprom* p = Live<IQ7kEeprom>(x);
    return Run(x, [&] {
      return p->SafeWriteFloat16(slot, subslot, start, values.data());
    });
  });
}

}  // namespace

void BindEeprom(CommClass& c) {
  Q7K_PY_PROPERTY(c, IQ7kEeprom, Checksum);
  Q7K_PY_INDEXED(c, IQ7kEeprom, ValInt);
  Q7K_PY_INDEXED(c, IQ7kEeprom, ValLong);
  Q7K_PY_INDEXED(c, IQ7kEeprom, ValFloat);
  Q7K_PY_INDEXED(c, IQ7kEeprom, ValChars);
  Q7K_PY_INDEXED(c, IQ7kEeprom, ValDate);
  Q7K_PY_METHOD(c, IQ7kEeprom, get_ValidBits);

  Q7K_PY_METHOD(c, IQ7kEeprom, Float2Ints);
  Q7K_PY_METHOD(c, IQ7kEeprom, Ints2Float);
  Q7K_PY_METHOD(c, IQ7kEeprom, Int2Chars);
  Q7K_PY_METHOD(c, IQ7kEeprom, Chars2Int);

  Q7K_PY_METHOD(c, IQ7kEeprom, ReadHeader);
  Q7K_PY_METHOD(c, IQ7kEeprom, ReadInt);
  Q7K_PY_METHOD(c, IQ7kEeprom, ReadLong);
  Q7K_PY_METHOD(c, IQ7kEeprom, ReadFloat);
  Q7K_PY_METHOD(c, IQ7kEeprom, WriteInt);
  Q7K_PY_METHOD(c, IQ7kEeprom, WriteLong);
  Q7K_PY_METHOD(c, IQ7kEeprom, WriteFloat);
  Q7K_PY_METHOD(c, IQ7kEeprom, ReadContents);
  Q7K_PY_METHOD(c, IQ7kEeprom, WriteContents);
  Q7K_PY_METHOD(c, IQ7kEeprom, CalculateChecksum);

  Q7K_PY_METHOD(c, IQ7kEeprom, SafeUpdate);
  Q7K_PY_METHOD(c, IQ7kEeprom, SafeWriteInt);
  Q7K_PY_METHOD(c, IQ7kEeprom, SafeWriteFloat);
  Q7K_PY_METHOD(c, IQ7kEeprom, SafeWriteBoardHeader);
  Q7K_PY_METHOD(c, IQ7kEeprom, SafeWriteCalHeader);

  Q7K_PY_METHOD(c, IQ7kEeprom, ReadCalCoeffs);
  Q7K_PY_METHOD(c, IQ7kEeprom, ReadSysCoeffs);
  Q7K_PY_METHOD(c, IQ7kEeprom, ReadCalDataRevision);
  Q7K_PY_METHOD(c, IQ7kEeprom, SetCalPoolToDefault);

  BindBlocks(c);
}

}  // namespace q7k::python
