// IQ7kEeprom: the EEPROM image accessors and the packing helpers. None of
// them talks to the instrument; a location range outside the image is
// refused with E_INVALIDARG.
#include "component/ansi_text.h"
#include "component/q7k_comm_object.h"

namespace q7k {
namespace {

HRESULT Checked(bool inside) { return inside ? S_OK : E_INVALIDARG; }

}  // namespace

HRESULT Q7kCommObject::get_Checksum(short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  *pVal = image_.checksum();
  return S_OK;
}
HRESULT Q7kCommObject::put_Checksum(short newVal) {
  const auto lock = Serialize();
  image_.set_checksum(newVal);
  return S_OK;
}

HRESULT Q7kCommObject::get_ValInt(short i, short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  return Checked(image_.GetInt(i, pVal));
}
HRESULT Q7kCommObject::put_ValInt(short i, short newVal) {
  const auto lock = Serialize();
  return Checked(image_.PutInt(i, newVal));
}

HRESULT Q7kCommObject::get_ValLong(short i, int32_t* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  return Checked(image_.GetLong(i, pVal));
}
HRESULT Q7kCommObject::put_ValLong(short i, int32_t newVal) {
  const auto lock = Serialize();
  return Checked(image_.PutLong(i, newVal));
}

HRESULT Q7kCommObject::get_ValFloat(short i, float* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  return Checked(image_.GetFloat(i, pVal));
}
HRESULT Q7kCommObject::put_ValFloat(short i, float newVal) {
  const auto lock = Serialize();
  return Checked(image_.PutFloat(i, newVal));
}

HRESULT Q7kCommObject::get_ValChars(short i, short nMax, BSTR* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  std::string text;
  if (!image_.GetChars(i, nMax, &text)) return E_INVALIDARG;
  return ReturnAnsi(text, pVal);
}
HRESULT Q7kCommObject::put_ValChars(short i, short nMax, BSTR newVal) {
  const auto lock = Serialize();
  return Checked(image_.PutChars(i, nMax, AnsiOf(newVal)));
}

HRESULT Q7kCommObject::get_ValDate(short i, BSTR* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  std::string text;
  if (!image_.GetDate(i, &text)) return E_INVALIDARG;
  return ReturnAnsi(text, pVal);
}
HRESULT Q7kCommObject::put_ValDate(short i, BSTR newVal) {
  const auto lock = Serialize();
  return Checked(image_.PutDate(i, AnsiOf(newVal)));
}

HRESULT Q7kCommObject::get_ValidBits(short i, short* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  return Checked(image_.ValidBits(i, pVal));
}

HRESULT Q7kCommObject::Float2Ints(float fData, short* nVal1, short* nVal2) {
  const auto lock = Serialize();
  if (nVal1 == nullptr || nVal2 == nullptr) return E_POINTER;
  uint16_t low = 0, high = 0;
  SplitFloat(fData, &low, &high);
  *nVal1 = static_cast<short>(low);
  *nVal2 = static_cast<short>(high);
  return S_OK;
}

HRESULT Q7kCommObject::Ints2Float(short nData1, short nData2, float* fVal) {
  const auto lock = Serialize();
  if (fVal == nullptr) return E_POINTER;
  *fVal =
      JoinFloat(static_cast<uint16_t>(nData1), static_cast<uint16_t>(nData2));
  return S_OK;
}

HRESULT Q7kCommObject::Int2Chars(short nData, BSTR* pVal) {
  const auto lock = Serialize();
  if (pVal == nullptr) return E_POINTER;
  return ReturnAnsi(WordChars(static_cast<uint16_t>(nData)), pVal);
}

HRESULT Q7kCommObject::Chars2Int(BSTR bstrVal, short* nVal) {
  const auto lock = Serialize();
  if (nVal == nullptr) return E_POINTER;
  *nVal = static_cast<short>(CharsWord(AnsiOf(bstrVal)));
  return S_OK;
}

}  // namespace q7k
