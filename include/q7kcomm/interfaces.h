// q7kcomm/interfaces.h: the four interfaces of the Q7kComm component.
//
// One component object implements all four; QueryInterface moves between
// them. A property X is the method pair get_X / put_X; an indexed property
// takes its index first.
//
// Results: S_OK on success; E_FAIL on failure, after the failure's text has
// been published as the calling thread's error information (GetErrorInfo) and
// recorded for ErrorCode / ErrorMsg / LastError; S_FALSE from the error
// properties and list methods when their object is missing; E_INVALIDARG for
// an indexed property outside its bounds (nothing is touched then).
//
// Threads: an object is meant to be driven by one thread at a time (the
// apartment model). A host that calls one object from several threads at
// once is still safe: each object serialises its methods, so a call waits
// until the object's current call on another thread has returned, and
// replies, results and the error record never mix. Serialisation is per
// call: a pair such as RequestTestResults / ReceiveTestResults is two calls,
// which the host keeps together itself. A call made by the host's message
// pump on the thread that is waiting inside a method runs at once (the lock
// is re-entrant), in the middle of that method; it is best not to call the
// same object from a message handler. Independent objects share no lock and
// run side by side on their own threads. Error information (GetErrorInfo)
// is per thread.
//
// Message pump (host.h): a method calls the host's pump only
//   - while a request is handed to the port (usually a moment: until the
//     port's writer has taken the request's bytes), and
//   - during TimerDelay with nWinMsg not 0, for the whole delay.
// It does not pump while it waits for the instrument's reply (up to 4 s, 5 s
// for StartQ7kTest), during its own pauses (the 2 s after StartQ7kTest
// starts a test) or during TimerDelay with nWinMsg 0: the host's windows do
// not respond then.
#ifndef Q7KCOMM_INTERFACES_H_
#define Q7KCOMM_INTERFACES_H_

#include <cstdint>

#include "q7kcomm/com.h"
#include "q7kcomm/types.h"

namespace q7k {

// Port, test, application, register, board and error operations.
class IQ7kComm : public IUnknown {
 public:
  // --- Component identity and errors -------------------------------------
  // "1.00.15".
  virtual HRESULT get_Version(BSTR* pVal) = 0;
  // The current error code; the error is cleared afterwards.
  virtual HRESULT get_LastError(short* pVal) = 0;
  // The current error code; the error stays.
  virtual HRESULT get_ErrorCode(short* pVal) = 0;
  // The current error text (null when there is none); the error stays.
  virtual HRESULT get_ErrorMsg(BSTR* pVal) = 0;
  // Language of texts loaded from now on; stored without a range check.
  virtual HRESULT get_Language(Q7K_LANGUAGE* pVal) = 0;
  virtual HRESULT put_Language(Q7K_LANGUAGE newVal) = 0;
  virtual HRESULT ClearError() = 0;
  // "[n] text" lines for every link error with a text. S_FALSE, pVal
  // untouched, when no port is open.
  virtual HRESULT ListCommErrors(BSTR* pVal) = 0;
  // "[code] text" lines for the instrument's error codes 0 to 64. Clears the
  // current error.
  virtual HRESULT ListAppErrors(BSTR* pVal) = 0;

  // --- Settings -----------------------------------------------------------
  // Trace switch; takes effect at the next port creation.
  virtual HRESULT get_EnableTrace(short* pVal) = 0;
  virtual HRESULT put_EnableTrace(short newVal) = 0;
  // One-shot request to restart the boot loader at the next port setup.
  virtual HRESULT get_RequireReboot(short* pVal) = 0;
  virtual HRESULT put_RequireReboot(short newVal) = 0;
  virtual HRESULT get_SimulBoxType(short* pVal) = 0;
  virtual HRESULT put_SimulBoxType(short newVal) = 0;
  // With SimulMode set: simulation runs without waiting and without noise.
  virtual HRESULT get_SimulFast(short* pVal) = 0;
  virtual HRESULT put_SimulFast(short newVal) = 0;
  // Any value but SIMUL_NONE switches simulation on (read at port creation
  // and by every command method with a simulated path).
  virtual HRESULT get_SimulMode(SIMUL_MODE* pVal) = 0;
  virtual HRESULT put_SimulMode(SIMUL_MODE newVal) = 0;
  // Owner window handle for the progress window.
  virtual HRESULT get_ParentHwnd(int32_t* pVal) = 0;
  virtual HRESULT put_ParentHwnd(int32_t newVal) = 0;

  // --- Application record and caches --------------------------------------
  virtual HRESULT get_AppName(BSTR* pVal) = 0;
  virtual HRESULT get_AppDate(BSTR* pVal) = 0;
  virtual HRESULT get_AppTime(BSTR* pVal) = 0;
  virtual HRESULT get_AppVersion(BSTR* pVal) = 0;
  virtual HRESULT get_AppDescription(BSTR* pVal) = 0;
  virtual HRESULT get_FlashDirCount(short* pVal) = 0;
  virtual HRESULT get_CalRevision(short* pVal) = 0;
  // REQUIRES for the indexed properties: i within 0..4 (REFCAL_INDEX) or
  // 0..9 (coefficients), else E_INVALIDARG.
  virtual HRESULT get_CalResistor(REFCAL_INDEX i, float* pVal) = 0;
  virtual HRESULT put_CalResistor(REFCAL_INDEX i, float newVal) = 0;
  virtual HRESULT get_CalPoleFreq(REFCAL_INDEX i, float* pVal) = 0;
  virtual HRESULT put_CalPoleFreq(REFCAL_INDEX i, float newVal) = 0;
  virtual HRESULT get_GainCoeffs(short i, float* pVal) = 0;
  virtual HRESULT put_GainCoeffs(short i, float newVal) = 0;
  virtual HRESULT get_PhaseCoeffs(short i, float* pVal) = 0;
  virtual HRESULT put_PhaseCoeffs(short i, float newVal) = 0;

  // --- Port ---------------------------------------------------------------
  // Opens port (1 = "COM1", mapped by host.h) at the speed code bps, 8N1.
  virtual HRESULT OpenPort(Q7K_PORT port, Q7K_BPS bps) = 0;
  // Always S_OK.
  virtual HRESULT ClosePort() = 0;
  // 1 while a link exists (also after a failed open, until ClosePort).
  virtual HRESULT IsPortOpen(short* pVal) = 0;
  // Sends a text and expects it back (loopback plug); leaves no port open.
  virtual HRESULT RunLoopbackTest(Q7K_PORT port, Q7K_BPS bps) = 0;
  // Waits lMilliseconds (negative waits 0), calling the host's message pump
  // at least every 10 ms when nWinMsg is not 0. E_FAIL without a port
  // (nothing recorded).
  virtual HRESULT TimerDelay(int32_t lMilliseconds, short nWinMsg) = 0;

  // --- Tests --------------------------------------------------------------
  // Every command method fails with E_FAIL without a port (publishing only
  // an earlier error text, if any) unless it has a simulated path and
  // SimulMode is set. Output records are untouched on failure, and a reply
  // shorter than its layout fails as "Invalid Message Length" (139).

  // Reads the running application's description into the App* properties.
  virtual HRESULT ReadAppInfo() = 0;
  // Runs the instrument's power-on sequence (command 2).
  virtual HRESULT StartPONSequence() = 0;
  virtual HRESULT InitTestParams(Q7K_INIT_PARAMS* initParams) = 0;
  // Resets the simulated poll count and keeps the frequency, also without a
  // port, then sends the record.
  virtual HRESULT UpdateRuntimeParams(Q7K_RUNTM_PARAMS* runParams) = 0;
  // Starts the test and waits 2 s; E_FAIL without a port and without
  // publishing anything.
  virtual HRESULT StartQ7kTest(Q7K_TEST_PARAMS* testParams) = 0;
  // One result poll (command 6): decodes the reply into the three records.
  virtual HRESULT FullRequestTestResults(Q7K_TEST_PARAMS* testParams,
                                         Q7K_TEST_DATA* testData,
                                         Q7K_THERMAL_DATA* thermalData) = 0;
  // The two halves of a poll: the request (command 22 when ExtendedResults,
  // else 6) and the reply, fetched later.
  virtual HRESULT RequestTestResults(Q7K_TEST_PARAMS* testParams) = 0;
  virtual HRESULT ReceiveTestResults(Q7K_TEST_PARAMS* testParams,
                                     Q7K_TEST_DATA* testData,
                                     Q7K_THERMAL_DATA* thermalData) = 0;
  virtual HRESULT StopQ7kTest() = 0;

  // --- Post-processing ----------------------------------------------------
  // Sets WattsAdjustment from the backplane EEPROM's correction.
  virtual HRESULT CalcWattsAdjustment(Q7K_TEST_PARAMS* testParams) = 0;
  // Applies the watts correction once, fixes signs, suppresses noise and
  // refers to 10 kV on request. Always S_OK.
  virtual HRESULT AdjustTestData(Q7K_TEST_PARAMS* testParams,
                                 Q7K_TEST_DATA* testData) = 0;
  // Runs a short test to measure the mains frequency (Hz, or -1.0).
  virtual HRESULT MeasureLineFrequency(short nMsg, float fMaxKVolts,
                                       float* pVal) = 0;

  // --- Service and calibration --------------------------------------------
  virtual HRESULT ReadThermalData(Q7K_THERMAL_DATA* thermalData) = 0;
  // Fills CalDone / CalDate of every calibration block.
  virtual HRESULT ReadCalInfo() = 0;
  virtual HRESULT SetXfmrBoundaryTemps(float fOverTemp,
                                       float fCooldownTemp) = 0;
  // Fills CalResistor / CalPoleFreq of MAIN_RES, RED_RES and BLUE_RES.
  virtual HRESULT ReadRefCalCoeffs() = 0;
  virtual HRESULT RegWrite(int32_t lAddress, int32_t lVal) = 0;
  virtual HRESULT RegRead(int32_t lAddress, int32_t* pVal) = 0;
  virtual HRESULT RegOr(int32_t lAddress, int32_t lVal) = 0;
  virtual HRESULT RegAnd(int32_t lAddress, int32_t lVal) = 0;
  virtual HRESULT EnableSoftwareVerify(short nEnable) = 0;
  virtual HRESULT SendTestWaveform(short nType, short nIndex, short nNext,
                                   short nPhase, short nSamples,
                                   float fAmpl) = 0;
  virtual HRESULT EnableGuardCal(short nEnable) = 0;
  virtual HRESULT EnableRefCal(short nCalType, short nEnable) = 0;
  virtual HRESULT EnableSysCal(short nCalType, short nEnable) = 0;
  // REQUIRES: fCoeffs holds 6 values.
  virtual HRESULT UpdateRefCal(const float* fCoeffs) = 0;
  // REQUIRES: nDAC holds 4 values, fSpecGains and fSpecPhases 10 each.
  virtual HRESULT UpdateGuardCal(const short* nDAC, float fRefGain,
                                 const float* fSpecGains,
                                 const float* fSpecPhases) = 0;
  // REQUIRES: fSpecGains and fSpecPhases hold 10 values each.
  virtual HRESULT UpdateSysCal(short nCalType, float fRefGain,
                               const float* fSpecGains,
                               const float* fSpecPhases) = 0;
  virtual HRESULT RequestRawResults(Q7K_RAW_DATA* rawData) = 0;
  virtual HRESULT EnableSafetyMonitor(short nEnable) = 0;
  virtual HRESULT RunChipSelectTest() = 0;
  virtual HRESULT ContinuousWriteReg(int32_t lAddress, int32_t lVal) = 0;
  virtual HRESULT ContinuousReadReg(int32_t lAddress) = 0;

  // --- Progress window ----------------------------------------------------
  // All four return S_OK; the last three do nothing without a window.
  // Shows a new window with bstrMsg, owned by hWnd (0 for none); an owner
  // the host has not registered as a window shows nothing.
  virtual HRESULT DisplayMsgDlg(int32_t hWnd, BSTR bstrMsg) = 0;
  virtual HRESULT DestroyMsgDlg() = 0;
  // Shows the bar and its label with the range nLower..nUpper.
  virtual HRESULT ShowMsgProgress(short nLower, short nUpper) = 0;
  // Advances the bar (never above the range) and updates the label.
  virtual HRESULT StepMsgProgress(short nStep) = 0;

 protected:
  ~IQ7kComm() = default;
};

// Status of each calibration block.
class IQ7kCalStatus : public IUnknown {
 protected:
  ~IQ7kCalStatus() = default;
};

// Board EEPROM images and their safe update. A board is named by slot and
// subslot, a value by its word location 0..255 on that board; 32-bit values
// take two locations, low word first.
class IQ7kEeprom : public IUnknown {
 public:
  // The 16-bit word at nLoc. *pVal is 0 on failure. In simulation the
  // backplane (slot 0, subslot 0) answers fixed values, and a location
  // outside 0..255 gives E_INVALIDARG.
  virtual HRESULT ReadInt(short nSlot, short nSubslot, short nLoc,
                          short* pVal) = 0;
  // The float at nLoc and nLoc + 1. *pVal is 0.0 on failure and in
  // simulation.
  virtual HRESULT ReadFloat(short nSlot, short nSubslot, short nLoc,
                            float* pVal) = 0;

 protected:
  ~IQ7kEeprom() = default;
};

// A log file written on the client's behalf. Every method returns S_OK, also
// when the file cannot be written.
class IQ7kLog : public IUnknown {
 public:
  virtual HRESULT get_LogFilename(BSTR* pVal) = 0;
  // Stores a copy of the name; no file is touched.
  virtual HRESULT put_LogFilename(BSTR newVal) = 0;
  // Stores the name, creates the file (holding its own name) when missing,
  // and appends a line feed and a time line.
  virtual HRESULT BeginLog(BSTR bstrFilename) = 0;
  // Appends the entry and a line feed; does nothing without a name.
  virtual HRESULT WriteToLog(BSTR bstrEntry) = 0;

 protected:
  ~IQ7kLog() = default;
};

}  // namespace q7k

#endif  // Q7KCOMM_INTERFACES_H_
