// The settings and cache properties of IQ7kComm. Put operations never fail;
// indexed properties outside their bounds answer E_INVALIDARG and touch
// nothing.
#include "component/q7k_comm_object.h"
#include "platform/bstr_text.h"
#include "platform/codepage.h"
#include "resources/version.h"

namespace q7k {
namespace {

HRESULT ReturnText(const std::u16string& text, BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = NewBstr(text);
  return *pVal == nullptr ? E_OUTOFMEMORY : S_OK;
}

template <typename T>
HRESULT Get(T value, T* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = value;
  return S_OK;
}

HRESULT GetFlag(bool value, short* pVal) {
  return Get<short>(value ? 1 : 0, pVal);
}

template <size_t N>
HRESULT GetElement(const float (&table)[N], int32_t i, float* pVal) {
  if (pVal == nullptr) return E_POINTER;
  if (i < 0 || static_cast<size_t>(i) >= N) return E_INVALIDARG;
  *pVal = table[i];
  return S_OK;
}

template <size_t N>
HRESULT PutElement(float (&table)[N], int32_t i, float value) {
  if (i < 0 || static_cast<size_t>(i) >= N) return E_INVALIDARG;
  table[i] = value;
  return S_OK;
}

HRESULT GetSlot(const char* slot, size_t width, BSTR* pVal) {
  return ReturnText(AnsiToWide(SlotText(slot, width)), pVal);
}

}  // namespace

HRESULT Q7kCommObject::get_Version(BSTR* pVal) {
  const auto lock = Serialize();
  return ReturnText(AnsiToWide(kComponentVersion), pVal);
}

HRESULT Q7kCommObject::get_EnableTrace(short* pVal) {
  const auto lock = Serialize();
  return GetFlag(enableTrace_, pVal);
}
HRESULT Q7kCommObject::put_EnableTrace(short newVal) {
  const auto lock = Serialize();
  enableTrace_ = newVal != 0;
  return S_OK;
}

HRESULT Q7kCommObject::get_RequireReboot(short* pVal) {
  const auto lock = Serialize();
  return GetFlag(requireReboot_, pVal);
}
HRESULT Q7kCommObject::put_RequireReboot(short newVal) {
  const auto lock = Serialize();
  requireReboot_ = newVal != 0;
  return S_OK;
}

HRESULT Q7kCommObject::get_SimulBoxType(short* pVal) {
  const auto lock = Serialize();
  return Get<short>(sim_.settings().boxType, pVal);
}
HRESULT Q7kCommObject::put_SimulBoxType(short newVal) {
  const auto lock = Serialize();
  sim_.settings().boxType = newVal;
  return S_OK;
}

HRESULT Q7kCommObject::get_SimulFast(short* pVal) {
  const auto lock = Serialize();
  return GetFlag(sim_.settings().fast, pVal);
}
HRESULT Q7kCommObject::put_SimulFast(short newVal) {
  const auto lock = Serialize();
  sim_.settings().fast = newVal != 0;
  return S_OK;
}

HRESULT Q7kCommObject::get_SimulMode(SIMUL_MODE* pVal) {
  const auto lock = Serialize();
  return Get(sim_.settings().mode, pVal);
}
HRESULT Q7kCommObject::put_SimulMode(SIMUL_MODE newVal) {
  const auto lock = Serialize();
  sim_.settings().mode = newVal;
  return S_OK;
}

HRESULT Q7kCommObject::get_ParentHwnd(int32_t* pVal) {
  const auto lock = Serialize();
  return Get(parentHwnd_, pVal);
}
HRESULT Q7kCommObject::put_ParentHwnd(int32_t newVal) {
  const auto lock = Serialize();
  parentHwnd_ = newVal;
  return S_OK;
}

HRESULT Q7kCommObject::get_AppName(BSTR* pVal) {
  const auto lock = Serialize();
  return GetSlot(currentApp_.Name, sizeof currentApp_.Name, pVal);
}
HRESULT Q7kCommObject::get_AppDate(BSTR* pVal) {
  const auto lock = Serialize();
  return GetSlot(currentApp_.Date, sizeof currentApp_.Date, pVal);
}
HRESULT Q7kCommObject::get_AppTime(BSTR* pVal) {
  const auto lock = Serialize();
  return GetSlot(currentApp_.Time, sizeof currentApp_.Time, pVal);
}
HRESULT Q7kCommObject::get_AppVersion(BSTR* pVal) {
  const auto lock = Serialize();
  return GetSlot(currentApp_.Version, sizeof currentApp_.Version, pVal);
}
HRESULT Q7kCommObject::get_AppDescription(BSTR* pVal) {
  const auto lock = Serialize();
  return GetSlot(currentApp_.Description, sizeof currentApp_.Description, pVal);
}

HRESULT Q7kCommObject::get_FlashDirCount(short* pVal) {
  const auto lock = Serialize();
  return Get<short>(flashDirectory_.count(), pVal);
}
HRESULT Q7kCommObject::get_CalRevision(short* pVal) {
  const auto lock = Serialize();
  return Get<short>(cal_.CalRevision, pVal);
}

HRESULT Q7kCommObject::get_CalResistor(REFCAL_INDEX i, float* pVal) {
  const auto lock = Serialize();
  return GetElement(cal_.CalResistor, i, pVal);
}
HRESULT Q7kCommObject::put_CalResistor(REFCAL_INDEX i, float newVal) {
  const auto lock = Serialize();
  return PutElement(cal_.CalResistor, i, newVal);
}
HRESULT Q7kCommObject::get_CalPoleFreq(REFCAL_INDEX i, float* pVal) {
  const auto lock = Serialize();
  return GetElement(cal_.CalPoleFreq, i, pVal);
}
HRESULT Q7kCommObject::put_CalPoleFreq(REFCAL_INDEX i, float newVal) {
  const auto lock = Serialize();
  return PutElement(cal_.CalPoleFreq, i, newVal);
}
HRESULT Q7kCommObject::get_GainCoeffs(short i, float* pVal) {
  const auto lock = Serialize();
  return GetElement(cal_.GainCoeffs, i, pVal);
}
HRESULT Q7kCommObject::put_GainCoeffs(short i, float newVal) {
  const auto lock = Serialize();
  return PutElement(cal_.GainCoeffs, i, newVal);
}
HRESULT Q7kCommObject::get_PhaseCoeffs(short i, float* pVal) {
  const auto lock = Serialize();
  return GetElement(cal_.PhaseCoeffs, i, pVal);
}
HRESULT Q7kCommObject::put_PhaseCoeffs(short i, float newVal) {
  const auto lock = Serialize();
  return PutElement(cal_.PhaseCoeffs, i, newVal);
}

}  // namespace q7k
