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
  virtual HRESULT Q7K_STDCALL get_Version(BSTR* pVal) = 0;
  // The current error code; the error is cleared afterwards.
  virtual HRESULT Q7K_STDCALL get_LastError(short* pVal) = 0;
  // The current error code; the error stays.
  virtual HRESULT Q7K_STDCALL get_ErrorCode(short* pVal) = 0;
  // The current error text (null when there is none); the error stays.
  virtual HRESULT Q7K_STDCALL get_ErrorMsg(BSTR* pVal) = 0;
  // Language of texts loaded from now on; stored without a range check.
  virtual HRESULT Q7K_STDCALL get_Language(Q7K_LANGUAGE* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_Language(Q7K_LANGUAGE newVal) = 0;
  virtual HRESULT Q7K_STDCALL ClearError() = 0;
  // "[n] text" lines for every link error with a text. S_FALSE, pVal
  // untouched, when no port is open.
  virtual HRESULT Q7K_STDCALL ListCommErrors(BSTR* pVal) = 0;
  // "[code] text" lines for the instrument's error codes 0 to 64. Clears the
  // current error.
  virtual HRESULT Q7K_STDCALL ListAppErrors(BSTR* pVal) = 0;

  // --- Settings -----------------------------------------------------------
  // Trace switch; takes effect at the next port creation.
  virtual HRESULT Q7K_STDCALL get_EnableTrace(short* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_EnableTrace(short newVal) = 0;
  // One-shot request to restart the boot loader at the next port setup.
  virtual HRESULT Q7K_STDCALL get_RequireReboot(short* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_RequireReboot(short newVal) = 0;
  virtual HRESULT Q7K_STDCALL get_SimulBoxType(short* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_SimulBoxType(short newVal) = 0;
  // With SimulMode set: simulation runs without waiting and without noise.
  virtual HRESULT Q7K_STDCALL get_SimulFast(short* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_SimulFast(short newVal) = 0;
  // Any value but SIMUL_NONE switches simulation on (read at port creation
  // and by every command method with a simulated path).
  virtual HRESULT Q7K_STDCALL get_SimulMode(SIMUL_MODE* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_SimulMode(SIMUL_MODE newVal) = 0;
  // Owner window handle for the progress window.
  virtual HRESULT Q7K_STDCALL get_ParentHwnd(int32_t* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_ParentHwnd(int32_t newVal) = 0;

  // --- Application record and caches --------------------------------------
  virtual HRESULT Q7K_STDCALL get_AppName(BSTR* pVal) = 0;
  virtual HRESULT Q7K_STDCALL get_AppDate(BSTR* pVal) = 0;
  virtual HRESULT Q7K_STDCALL get_AppTime(BSTR* pVal) = 0;
  virtual HRESULT Q7K_STDCALL get_AppVersion(BSTR* pVal) = 0;
  virtual HRESULT Q7K_STDCALL get_AppDescription(BSTR* pVal) = 0;
  virtual HRESULT Q7K_STDCALL get_FlashDirCount(short* pVal) = 0;
  virtual HRESULT Q7K_STDCALL get_CalRevision(short* pVal) = 0;
  // REQUIRES for the indexed properties: i within 0..4 (REFCAL_INDEX) or
  // 0..9 (coefficients), else E_INVALIDARG.
  virtual HRESULT Q7K_STDCALL get_CalResistor(REFCAL_INDEX i, float* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_CalResistor(REFCAL_INDEX i, float newVal) = 0;
  virtual HRESULT Q7K_STDCALL get_CalPoleFreq(REFCAL_INDEX i, float* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_CalPoleFreq(REFCAL_INDEX i, float newVal) = 0;
  virtual HRESULT Q7K_STDCALL get_GainCoeffs(short i, float* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_GainCoeffs(short i, float newVal) = 0;
  virtual HRESULT Q7K_STDCALL get_PhaseCoeffs(short i, float* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_PhaseCoeffs(short i, float newVal) = 0;

  // --- Port ---------------------------------------------------------------
  // Opens port (1 = "COM1", mapped by host.h) at the speed code bps, 8N1.
  virtual HRESULT Q7K_STDCALL OpenPort(Q7K_PORT port, Q7K_BPS bps) = 0;
  // Always S_OK.
  virtual HRESULT Q7K_STDCALL ClosePort() = 0;
  // 1 while a link exists (also after a failed open, until ClosePort).
  virtual HRESULT Q7K_STDCALL IsPortOpen(short* pVal) = 0;
  // Sends a text and expects it back (loopback plug); leaves no port open.
  virtual HRESULT Q7K_STDCALL RunLoopbackTest(Q7K_PORT port, Q7K_BPS bps) = 0;
  // Waits lMilliseconds (negative waits 0), calling the host's message pump
  // at least every 10 ms when nWinMsg is not 0. E_FAIL without a port
  // (nothing recorded).
  virtual HRESULT Q7K_STDCALL TimerDelay(int32_t lMilliseconds,
                                         short nWinMsg) = 0;

  // --- Tests --------------------------------------------------------------
  // Every command method fails with E_FAIL without a port (publishing only
  // an earlier error text, if any) unless it has a simulated path and
  // SimulMode is set. Output records are untouched on failure, and a reply
  // shorter than its layout fails as "Invalid Message Length" (139).

  // Reads the running application's description into the App* properties.
  virtual HRESULT Q7K_STDCALL ReadAppInfo() = 0;
  // Runs the instrument's power-on sequence (command 2).
  virtual HRESULT Q7K_STDCALL StartPONSequence() = 0;
  virtual HRESULT Q7K_STDCALL InitTestParams(Q7K_INIT_PARAMS* initParams) = 0;
  // Resets the simulated poll count and keeps the frequency, also without a
  // port, then sends the record.
  virtual HRESULT Q7K_STDCALL
  UpdateRuntimeParams(Q7K_RUNTM_PARAMS* runParams) = 0;
  // Starts the test and waits 2 s; E_FAIL without a port and without
  // publishing anything.
  virtual HRESULT Q7K_STDCALL StartQ7kTest(Q7K_TEST_PARAMS* testParams) = 0;
  // One result poll (command 6): decodes the reply into the three records.
  virtual HRESULT Q7K_STDCALL
  FullRequestTestResults(Q7K_TEST_PARAMS* testParams, Q7K_TEST_DATA* testData,
                         Q7K_THERMAL_DATA* thermalData) = 0;
  // The two halves of a poll: the request (command 22 when ExtendedResults,
  // else 6) and the reply, fetched later.
  virtual HRESULT Q7K_STDCALL
  RequestTestResults(Q7K_TEST_PARAMS* testParams) = 0;
  virtual HRESULT Q7K_STDCALL
  ReceiveTestResults(Q7K_TEST_PARAMS* testParams, Q7K_TEST_DATA* testData,
                     Q7K_THERMAL_DATA* thermalData) = 0;
  virtual HRESULT Q7K_STDCALL StopQ7kTest() = 0;

  // --- Post-processing ----------------------------------------------------
  // Sets WattsAdjustment from the backplane EEPROM's correction.
  virtual HRESULT Q7K_STDCALL
  CalcWattsAdjustment(Q7K_TEST_PARAMS* testParams) = 0;
  // Applies the watts correction once, fixes signs, suppresses noise and
  // refers to 10 kV on request. Always S_OK.
  virtual HRESULT Q7K_STDCALL AdjustTestData(Q7K_TEST_PARAMS* testParams,
                                             Q7K_TEST_DATA* testData) = 0;
  // Runs a short test to measure the mains frequency (Hz, or -1.0).
  virtual HRESULT Q7K_STDCALL MeasureLineFrequency(short nMsg, float fMaxKVolts,
                                                   float* pVal) = 0;

  // --- Service and calibration --------------------------------------------
  virtual HRESULT Q7K_STDCALL
  ReadThermalData(Q7K_THERMAL_DATA* thermalData) = 0;
  // Fills CalDone / CalDate of every calibration block.
  virtual HRESULT Q7K_STDCALL ReadCalInfo() = 0;
  virtual HRESULT Q7K_STDCALL SetXfmrBoundaryTemps(float fOverTemp,
                                                   float fCooldownTemp) = 0;
  // Fills CalResistor / CalPoleFreq of MAIN_RES, RED_RES and BLUE_RES.
  virtual HRESULT Q7K_STDCALL ReadRefCalCoeffs() = 0;
  virtual HRESULT Q7K_STDCALL RegWrite(int32_t lAddress, int32_t lVal) = 0;
  virtual HRESULT Q7K_STDCALL RegRead(int32_t lAddress, int32_t* pVal) = 0;
  virtual HRESULT Q7K_STDCALL RegOr(int32_t lAddress, int32_t lVal) = 0;
  virtual HRESULT Q7K_STDCALL RegAnd(int32_t lAddress, int32_t lVal) = 0;
  virtual HRESULT Q7K_STDCALL EnableSoftwareVerify(short nEnable) = 0;
  virtual HRESULT Q7K_STDCALL SendTestWaveform(short nType, short nIndex,
                                               short nNext, short nPhase,
                                               short nSamples, float fAmpl) = 0;
  virtual HRESULT Q7K_STDCALL EnableGuardCal(short nEnable) = 0;
  virtual HRESULT Q7K_STDCALL EnableRefCal(short nCalType, short nEnable) = 0;
  virtual HRESULT Q7K_STDCALL EnableSysCal(short nCalType, short nEnable) = 0;
  // REQUIRES: fCoeffs holds 6 values.
  virtual HRESULT Q7K_STDCALL UpdateRefCal(const float* fCoeffs) = 0;
  // REQUIRES: nDAC holds 4 values, fSpecGains and fSpecPhases 10 each.
  virtual HRESULT Q7K_STDCALL UpdateGuardCal(const short* nDAC, float fRefGain,
                                             const float* fSpecGains,
                                             const float* fSpecPhases) = 0;
  // REQUIRES: fSpecGains and fSpecPhases hold 10 values each.
  virtual HRESULT Q7K_STDCALL UpdateSysCal(short nCalType, float fRefGain,
                                           const float* fSpecGains,
                                           const float* fSpecPhases) = 0;
  virtual HRESULT Q7K_STDCALL RequestRawResults(Q7K_RAW_DATA* rawData) = 0;
  virtual HRESULT Q7K_STDCALL EnableSafetyMonitor(short nEnable) = 0;
  virtual HRESULT Q7K_STDCALL RunChipSelectTest() = 0;
  virtual HRESULT Q7K_STDCALL ContinuousWriteReg(int32_t lAddress,
                                                 int32_t lVal) = 0;
  virtual HRESULT Q7K_STDCALL ContinuousReadReg(int32_t lAddress) = 0;

  // --- Board identity -----------------------------------------------------
  // Answers read word by word from the board EEPROMs (no EEPROM image
  // involved). In simulation each has a fixed answer, apart from
  // ReadGuardBoardRev, whose board search then fails.
  // The instrument's serial number (backplane locations 52 and 53).
  virtual HRESULT Q7K_STDCALL ReadQ7ISerialNumber(int32_t* pVal) = 0;
  // The transformer serial number (backplane, 8 characters at 40); what
  // was read is returned also when a read fails.
  virtual HRESULT Q7K_STDCALL ReadXfmrSerialNumber(BSTR* pVal) = 0;
  // A board's assembly serial number (locations 27 and 28); -1 on failure.
  virtual HRESULT Q7K_STDCALL ReadAssySerialNumber(short nSlot, short nSubslot,
                                                   int32_t* pVal) = 0;
  // Month, day and year of a calibration date as numbers: the board's own
  // record (locations 52 to 54), or the backplane's field block (166 to 168)
  // when nFldCal is not 0. REQUIRES: lpnDate holds 4 values.
  virtual HRESULT Q7K_STDCALL ReadCalDateInt(short nSlot, short nSubslot,
                                             short nFldCal, short* lpnDate) = 0;
  // The board's calibration date as "MM/DD/YY" (as far as it was read).
  virtual HRESULT Q7K_STDCALL ReadCalDate(short nSlot, short nSubslot,
                                          BSTR* pVal) = 0;
  // The guard board's revision letter bytes as one number.
  virtual HRESULT Q7K_STDCALL ReadGuardBoardRev(int32_t* pVal) = 0;
  // The highest slot 7..1 whose board key (the middle group of its part
  // number) agrees with the first 4 characters of bstrFind; *pVal -1 when
  // none does. An empty key gives E_INVALIDARG.
  virtual HRESULT Q7K_STDCALL FindBoardSlot(BSTR bstrFind, short* pVal) = 0;

  // --- Applications and flash ---------------------------------------------
  // Image files "<name>.X0" are read from the current directory. The flash
  // commands fail with E_FAIL without a port, publishing only an earlier
  // error text (DeleteApp and DownloadComplete publish nothing then).
  // Fills the App* properties from the header of bstrAppName's image file.
  virtual HRESULT Q7K_STDCALL ReadDiskAppInfo(BSTR bstrAppName) = 0;
  // Fails (error 86) when the App* record is the firmware in a version
  // older than 01.20.02; any other record is valid.
  virtual HRESULT Q7K_STDCALL IsAppVersionValid() = 0;
  // Fills the download announcement from the image file bstrFilename (a
  // plain name of at most 15 characters). A failure publishes nothing.
  virtual HRESULT Q7K_STDCALL FillAppParams(BSTR bstrFilename) = 0;
  // Restarts the instrument into its boot loader (command 8).
  virtual HRESULT Q7K_STDCALL RestartLoader() = 0;
  // Announces a download with what FillAppParams filled (command 10).
  virtual HRESULT Q7K_STDCALL SendAppParams() = 0;
  // Sends the image file in blocks, showing the download's progress.
  virtual HRESULT Q7K_STDCALL DownloadApp(BSTR bstrFilename) = 0;
  // Has the boot loader program the flash; waits up to nTimeoutSec seconds,
  // at least 20.
  virtual HRESULT Q7K_STDCALL DownloadComplete(short nTimeoutSec) = 0;
  virtual HRESULT Q7K_STDCALL AbortDownload() = 0;
  // The entry number of the application with these texts (8 characters
  // each), 0 when the flash does not hold it; 2 in simulation.
  virtual HRESULT Q7K_STDCALL SearchForApp(BSTR bstrName, BSTR bstrDate,
                                           BSTR bstrTime, BSTR bstrVersion,
                                           short* nAppEntry) = 0;
  // Reads up to 15 entries into FlashDirCount and the slots that
  // ReadFlashDirInfo shows.
  virtual HRESULT Q7K_STDCALL ReadFlashDirectory() = 0;
  // Copies slot nAppEntry (0..14) into the App* properties; other indices
  // change nothing. Always S_OK.
  virtual HRESULT Q7K_STDCALL ReadFlashDirInfo(short nAppEntry) = 0;
  // Runs or deletes the instrument's entry nAppEntry (from 1).
  virtual HRESULT Q7K_STDCALL ExecuteApp(short nAppEntry) = 0;
  virtual HRESULT Q7K_STDCALL DeleteApp(short nAppEntry) = 0;

  // --- Port setup with the application check -------------------------------
  // Brings the instrument to the firmware of Q7I.X0, then opens the port.
  // With an error recorded it does neither (after a watchdog report it runs
  // the power-on sequence) and returns S_OK. Every failure leaves the port
  // closed.
  virtual HRESULT Q7K_STDCALL SetupComm(Q7K_PORT port, Q7K_BPS bps,
                                        short nTimeoutSec) = 0;
  // Restarts the boot loader and reopens the port (setting it up first when
  // none is open); clears RequireReboot.
  virtual HRESULT Q7K_STDCALL RestartBootLoader(Q7K_PORT port, Q7K_BPS bps,
                                                short nTimeoutSec) = 0;

  // --- Progress window ----------------------------------------------------
  // All four return S_OK; the last three do nothing without a window.
  // Shows a new window with bstrMsg, owned by hWnd (0 for none); an owner
  // the host has not registered as a window shows nothing.
  virtual HRESULT Q7K_STDCALL DisplayMsgDlg(int32_t hWnd, BSTR bstrMsg) = 0;
  virtual HRESULT Q7K_STDCALL DestroyMsgDlg() = 0;
  // Shows the bar and its label with the range nLower..nUpper.
  virtual HRESULT Q7K_STDCALL ShowMsgProgress(short nLower, short nUpper) = 0;
  // Advances the bar (never above the range) and updates the label.
  virtual HRESULT Q7K_STDCALL StepMsgProgress(short nStep) = 0;

 protected:
  ~IQ7kComm() = default;
};

// Status of each calibration block. i and nCalType are CAL_INDEX values
// (0..5); the properties answer 0 (CalDate an empty text) outside them.
class IQ7kCalStatus : public IUnknown {
 public:
  // 1: the calibration is valid.
  virtual HRESULT Q7K_STDCALL get_CalStatus(short i, short* pVal) = 0;
  // 1: the board's EEPROM sums to 0.
  virtual HRESULT Q7K_STDCALL get_ChecksumStatus(short i, short* pVal) = 0;
  // The caller's nCalDone of the last check (2 for MODESWITCH_CAL, 0 when
  // the board could not be read, -1 before any check).
  virtual HRESULT Q7K_STDCALL get_ReportedStatus(short i, short* pVal) = 0;
  virtual HRESULT Q7K_STDCALL get_CalNumFactors(short i, short* pVal) = 0;
  virtual HRESULT Q7K_STDCALL get_CalValidFactors(short i, short* pVal) = 0;
  // Backplane blocks: 1 when a board serial number recorded in the block
  // differs from the one last read from that board.
  virtual HRESULT Q7K_STDCALL get_CalSerialNumError(short i, short* pVal) = 0;
  // The caller's nCalDone disagrees with the verdict.
  virtual HRESULT Q7K_STDCALL get_CalStatusError(short i, short* pVal) = 0;
  // The assembly serial number of the board last checked.
  virtual HRESULT Q7K_STDCALL get_CalSerialNumber(short i, int32_t* pVal) = 0;
  // What ReadCalInfo reported.
  virtual HRESULT Q7K_STDCALL get_CalDone(short i, short* pVal) = 0;
  virtual HRESULT Q7K_STDCALL get_CalDate(short i, BSTR* pVal) = 0;

  // Resets the record to "not checked"; E_INVALIDARG outside 0..5.
  virtual HRESULT Q7K_STDCALL InitCalStatusData(short nCalType) = 0;
  // E_INVALIDARG outside 0..5; otherwise does nothing.
  virtual HRESULT Q7K_STDCALL TraceCalStatusData(short nCalType) = 0;
  // Reads the calibration's board and judges it. The backplane blocks
  // depend on the other records: check GUARD_CAL, MAIN_REF_CAL,
  // FIELD_REF_CAL and MODESWITCH_CAL first, then BP_FACTORY_CAL, then
  // BP_FIELD_CAL. An invalid calibration is S_OK with CalStatus 0; E_FAIL
  // when the board cannot be found or read.
  virtual HRESULT Q7K_STDCALL CheckCalStatus(short nCalType,
                                             short nCalDone) = 0;

 protected:
  ~IQ7kCalStatus() = default;
};

// Board EEPROM images and their safe update. A board is named by slot and
// subslot, a value by its word location 0..255 on that board; 32-bit values
// take two locations, low word first; texts two characters a word, the
// first in the low byte.
class IQ7kEeprom : public IUnknown {
 public:
  // --- The EEPROM image -----------------------------------------------------
  // One board's 256 words held in the component (all zero until the first
  // ReadContents). These talk to no instrument; a location range that
  // leaves the image gives E_INVALIDARG and touches nothing.
  // The 16-bit sum ReadContents found (0 for a consistent board).
  virtual HRESULT Q7K_STDCALL get_Checksum(short* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_Checksum(short newVal) = 0;
  virtual HRESULT Q7K_STDCALL get_ValInt(short i, short* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_ValInt(short i, short newVal) = 0;
  virtual HRESULT Q7K_STDCALL get_ValLong(short i, int32_t* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_ValLong(short i, int32_t newVal) = 0;
  virtual HRESULT Q7K_STDCALL get_ValFloat(short i, float* pVal) = 0;
  virtual HRESULT Q7K_STDCALL put_ValFloat(short i, float newVal) = 0;
  // Up to nMax (below 64) characters from location i, ending at a NUL.
  virtual HRESULT Q7K_STDCALL get_ValChars(short i, short nMax, BSTR* pVal) = 0;
  // Exactly nMax bytes from location i: the text, cut or NUL-padded. An
  // empty text gives E_INVALIDARG.
  virtual HRESULT Q7K_STDCALL put_ValChars(short i, short nMax,
                                           BSTR newVal) = 0;
  // "MM/DD/YY" from the six characters MMDDYY at i..i+2.
  virtual HRESULT Q7K_STDCALL get_ValDate(short i, BSTR* pVal) = 0;
  // Characters 1-2, 4-5 and 7-8 of a text of at least 8 characters.
  virtual HRESULT Q7K_STDCALL put_ValDate(short i, BSTR newVal) = 0;
  // The 1 bits of words i..i+5; i within 0..250.
  virtual HRESULT Q7K_STDCALL get_ValidBits(short i, short* pVal) = 0;

  // --- Packing helpers (no state) ------------------------------------------
  virtual HRESULT Q7K_STDCALL Float2Ints(float fData, short* nVal1,
                                         short* nVal2) = 0;
  virtual HRESULT Q7K_STDCALL Ints2Float(short nData1, short nData2,
                                         float* fVal) = 0;
  virtual HRESULT Q7K_STDCALL Int2Chars(short nData, BSTR* pVal) = 0;
  virtual HRESULT Q7K_STDCALL Chars2Int(BSTR bstrVal, short* nVal) = 0;

  // --- Transfers ------------------------------------------------------------
  // Locations and board addresses are checked by the instrument. In
  // simulation reads answer fixed values, writes store nothing.
  // Word 0, the header signature; *pVal unchanged on failure.
  virtual HRESULT Q7K_STDCALL ReadHeader(short nSlot, short nSubslot,
                                         short* pVal) = 0;
  // The 16-bit word at nLoc. *pVal is 0 on failure. In simulation the
  // backplane (slot 0, subslot 0) answers fixed values, and a location
  // outside 0..255 gives E_INVALIDARG.
  virtual HRESULT Q7K_STDCALL ReadInt(short nSlot, short nSubslot, short nLoc,
                                      short* pVal) = 0;
  // *pVal is 0 on failure.
  virtual HRESULT Q7K_STDCALL ReadLong(short nSlot, short nSubslot, short nLoc,
                                       int32_t* pVal) = 0;
  // The float at nLoc and nLoc + 1. *pVal is 0.0 on failure and in
  // simulation.
  virtual HRESULT Q7K_STDCALL ReadFloat(short nSlot, short nSubslot, short nLoc,
                                        float* pVal) = 0;
  virtual HRESULT Q7K_STDCALL WriteInt(short nSlot, short nSubslot, short nLoc,
                                       short nVal) = 0;
  virtual HRESULT Q7K_STDCALL WriteLong(short nSlot, short nSubslot, short nLoc,
                                        int32_t lVal) = 0;
  virtual HRESULT Q7K_STDCALL WriteFloat(short nSlot, short nSubslot,
                                         short nLoc, float fVal) = 0;
  // 32 words from nStartLoc into lpnVal, each also added to *lpnSum
  // (16-bit, wrapping): the caller initialises the sum.
  virtual HRESULT Q7K_STDCALL Read32(short nSlot, short nSubslot,
                                     short nStartLoc, short* lpnVal,
                                     short* lpnSum) = 0;
  // REQUIRES: lpnVal holds 32 words.
  virtual HRESULT Q7K_STDCALL Write32(short nSlot, short nSubslot,
                                      short nStartLoc, const short* lpnVal) = 0;
  // 16 floats covering locations nStartLoc..nStartLoc+31.
  virtual HRESULT Q7K_STDCALL ReadFloat16(short nSlot, short nSubslot,
                                          short nStartLoc, float* lpfVal) = 0;
  virtual HRESULT Q7K_STDCALL WriteFloat16(short nSlot, short nSubslot,
                                           short nStartLoc,
                                           const float* lpfVal) = 0;
  // The whole board into the image, and its 16-bit sum into Checksum. On
  // failure the blocks read so far stay, zeros after them.
  virtual HRESULT Q7K_STDCALL ReadContents(short nSlot, short nSubslot) = 0;
  // The whole image to the board, unprotected: the image must already sum
  // to 0; the write count is not advanced.
  virtual HRESULT Q7K_STDCALL WriteContents(short nSlot, short nSubslot) = 0;
  // The instrument's checksum of the board: 0 for a consistent board.
  virtual HRESULT Q7K_STDCALL CalculateChecksum(short nSlot, short nSubslot,
                                                short* pVal) = 0;

  // --- Safe update ----------------------------------------------------------
  // Each reads the old values, writes the new ones, reads them back and
  // compares, then commits a write count and checksum word derived from
  // the board, so the board stays consistent. A value that does not read
  // back, or a final checksum that is not 0, fails with ErrorCode 152 (when
  // no error was recorded before); nothing is retried or rolled back.
  // The commit: nWrtCount + 2 to location 1, nChecksum - 2 to 255, each
  // verified, then the instrument's checksum must be 0.
  virtual HRESULT Q7K_STDCALL SafeUpdate(short nSlot, short nSubslot,
                                         short nWrtCount, short nChecksum) = 0;
  virtual HRESULT Q7K_STDCALL SafeWriteInt(short nSlot, short nSubslot,
                                           short nLoc, short nVal) = 0;
  // REQUIRES: pVals holds 32 words.
  virtual HRESULT Q7K_STDCALL SafeWrite32(short nSlot, short nSubslot,
                                          short nLoc, const short* pVals) = 0;
  virtual HRESULT Q7K_STDCALL SafeWriteFloat(short nSlot, short nSubslot,
                                             short nLoc, float fVal) = 0;
  // REQUIRES: pfVals holds 16 floats.
  virtual HRESULT Q7K_STDCALL SafeWriteFloat16(short nSlot, short nSubslot,
                                               short nLoc,
                                               const float* pfVals) = 0;
  // The image's board header (locations 2 to 35, 40 to 43 and 50).
  virtual HRESULT Q7K_STDCALL SafeWriteBoardHeader(short nSlot,
                                                   short nSubslot) = 0;
  // The image's calibration header: 8 words at 64 when nCalType is 1, else
  // at 164.
  virtual HRESULT Q7K_STDCALL SafeWriteCalHeader(short nSlot, short nSubslot,
                                                 short nCalType) = 0;

  // --- Calibration pool -----------------------------------------------------
  // Reference values from slot 0 subslot 3 into CalResistor / CalPoleFreq:
  // RED_RES and BLUE_RES for nCalType 0, else RED_RES, MRED_RES and
  // NBLUE_RES.
  virtual HRESULT Q7K_STDCALL ReadCalCoeffs(short nCalType) = 0;
  // Reads the backplane into the image and takes CalRevision, GainCoeffs
  // and PhaseCoeffs from its factory block (nCalBlock not 0) or field
  // block. On failure every coefficient reads 10.0.
  virtual HRESULT Q7K_STDCALL ReadSysCoeffs(short nCalBlock) = 0;
  // The calibration data revision (-1 on failure).
  virtual HRESULT Q7K_STDCALL ReadCalDataRevision(short* pVal) = 0;
  // Gains 1.0 and phases 0.0, also sent to the instrument; the local reset
  // stays when sending fails.
  virtual HRESULT Q7K_STDCALL SetCalPoolToDefault() = 0;

 protected:
  ~IQ7kEeprom() = default;
};

// A log file written on the client's behalf. Every method returns S_OK, also
// when the file cannot be written.
class IQ7kLog : public IUnknown {
 public:
  virtual HRESULT Q7K_STDCALL get_LogFilename(BSTR* pVal) = 0;
  // Stores a copy of the name; no file is touched.
  virtual HRESULT Q7K_STDCALL put_LogFilename(BSTR newVal) = 0;
  // Stores the name, creates the file (holding its own name) when missing,
  // and appends a line feed and a time line.
  virtual HRESULT Q7K_STDCALL BeginLog(BSTR bstrFilename) = 0;
  // Appends the entry and a line feed; does nothing without a name.
  virtual HRESULT Q7K_STDCALL WriteToLog(BSTR bstrEntry) = 0;

 protected:
  ~IQ7kLog() = default;
};

}  // namespace q7k

#endif  // Q7KCOMM_INTERFACES_H_
