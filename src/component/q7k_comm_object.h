// Q7kCommObject: the one object behind a Q7kComm class instance. All four
// interfaces are views of it and share its state: the link to the
// instrument, the error record, the client's settings, the simulation
// switches and the caches that instrument operations fill.
//
// The object is a thin facade: each method forwards to the subsystem that
// owns the behaviour. Methods that call other methods of the component go
// through the component's own interface, so guards, simulation and error
// reporting apply to the inner call too.
//
// Thread safety: meant for one thread at a time (the apartment model), but
// every interface method holds the object's own lock for its whole run
// (Serialize), so calls from several threads run one after another.
// Re-entrant: the host's message pump may call the object again on the
// waiting thread. Reference counting is lock-free; objects share no lock.
#ifndef Q7K_COMPONENT_Q7K_COMM_OBJECT_H_
#define Q7K_COMPONENT_Q7K_COMM_OBJECT_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "component/error_state.h"
#include "eeprom/calibration_cache.h"
#include "eeprom/calibration_status.h"
#include "eeprom/eeprom_image.h"
#include "firmware/app_info.h"
#include "firmware/app_params.h"
#include "firmware/flash_directory.h"
#include "firmware/progress_target.h"
#include "log/client_log.h"
#include "q7kcomm/interfaces.h"
#include "simulator/simulated_instrument.h"
#include "ui/progress_dialog.h"

namespace q7k {

class CommandChannel;
class InstrumentLink;
class MessageBuffer;
class ErrorReporter;
class Transactor;
struct Span;

// What AddRef and Release count in: 32 bits, spelled as the platform does.
using RefCount = decltype(std::declval<IUnknown&>().AddRef());

class Q7kCommObject final : public IQ7kComm,
                            public IQ7kCalStatus,
                            public IQ7kEeprom,
                            public IQ7kLog,
                            public ISupportErrorInfo {
 public:
  Q7kCommObject();
  ~Q7kCommObject();
  Q7kCommObject(const Q7kCommObject&) = delete;
  Q7kCommObject& operator=(const Q7kCommObject&) = delete;

  // Sends the commands to a transactor made by make with this object's
  // error record (an in-process instrument) instead of a port's link, until
  // a port is created or closed; the port methods still see no port. Not on
  // any interface.
  using TransactorFactory =
      std::function<std::unique_ptr<Transactor>(ErrorReporter* errors)>;
  void AttachTransactor(const TransactorFactory& make);

  // Objects alive in this module, for an in-process server's unload check.
  static long LiveObjects();

  // IUnknown
  HRESULT Q7K_STDCALL QueryInterface(const GUID& iid, void** ppv) override;
  RefCount Q7K_STDCALL AddRef() override;
  RefCount Q7K_STDCALL Release() override;

  // ISupportErrorInfo
  HRESULT Q7K_STDCALL InterfaceSupportsErrorInfo(const GUID& iid) override;

  // IQ7kComm: identity and errors
  HRESULT Q7K_STDCALL get_Version(BSTR* pVal) override;
  HRESULT Q7K_STDCALL get_LastError(short* pVal) override;
  HRESULT Q7K_STDCALL get_ErrorCode(short* pVal) override;
  HRESULT Q7K_STDCALL get_ErrorMsg(BSTR* pVal) override;
  HRESULT Q7K_STDCALL get_Language(Q7K_LANGUAGE* pVal) override;
  HRESULT Q7K_STDCALL put_Language(Q7K_LANGUAGE newVal) override;
  HRESULT Q7K_STDCALL ClearError() override;
  HRESULT Q7K_STDCALL ListCommErrors(BSTR* pVal) override;
  HRESULT Q7K_STDCALL ListAppErrors(BSTR* pVal) override;

  // IQ7kComm: settings
  HRESULT Q7K_STDCALL get_EnableTrace(short* pVal) override;
  HRESULT Q7K_STDCALL put_EnableTrace(short newVal) override;
  HRESULT Q7K_STDCALL get_RequireReboot(short* pVal) override;
  HRESULT Q7K_STDCALL put_RequireReboot(short newVal) override;
  HRESULT Q7K_STDCALL get_SimulBoxType(short* pVal) override;
  HRESULT Q7K_STDCALL put_SimulBoxType(short newVal) override;
  HRESULT Q7K_STDCALL get_SimulFast(short* pVal) override;
  HRESULT Q7K_STDCALL put_SimulFast(short newVal) override;
  HRESULT Q7K_STDCALL get_SimulMode(SIMUL_MODE* pVal) override;
  HRESULT Q7K_STDCALL put_SimulMode(SIMUL_MODE newVal) override;
  HRESULT Q7K_STDCALL get_ParentHwnd(int32_t* pVal) override;
  HRESULT Q7K_STDCALL put_ParentHwnd(int32_t newVal) override;

  // IQ7kComm: application record and caches
  HRESULT Q7K_STDCALL get_AppName(BSTR* pVal) override;
  HRESULT Q7K_STDCALL get_AppDate(BSTR* pVal) override;
  HRESULT Q7K_STDCALL get_AppTime(BSTR* pVal) override;
  HRESULT Q7K_STDCALL get_AppVersion(BSTR* pVal) override;
  HRESULT Q7K_STDCALL get_AppDescription(BSTR* pVal) override;
  HRESULT Q7K_STDCALL get_FlashDirCount(short* pVal) override;
  HRESULT Q7K_STDCALL get_CalRevision(short* pVal) override;
  HRESULT Q7K_STDCALL get_CalResistor(REFCAL_INDEX i, float* pVal) override;
  HRESULT Q7K_STDCALL put_CalResistor(REFCAL_INDEX i, float newVal) override;
  HRESULT Q7K_STDCALL get_CalPoleFreq(REFCAL_INDEX i, float* pVal) override;
  HRESULT Q7K_STDCALL put_CalPoleFreq(REFCAL_INDEX i, float newVal) override;
  HRESULT Q7K_STDCALL get_GainCoeffs(short i, float* pVal) override;
  HRESULT Q7K_STDCALL put_GainCoeffs(short i, float newVal) override;
  HRESULT Q7K_STDCALL get_PhaseCoeffs(short i, float* pVal) override;
  HRESULT Q7K_STDCALL put_PhaseCoeffs(short i, float newVal) override;

  // IQ7kComm: port
  HRESULT Q7K_STDCALL OpenPort(Q7K_PORT port, Q7K_BPS bps) override;
  HRESULT Q7K_STDCALL ClosePort() override;
  HRESULT Q7K_STDCALL IsPortOpen(short* pVal) override;
  HRESULT Q7K_STDCALL RunLoopbackTest(Q7K_PORT port, Q7K_BPS bps) override;
  HRESULT Q7K_STDCALL TimerDelay(int32_t lMilliseconds, short nWinMsg) override;

  // IQ7kComm: tests
  HRESULT Q7K_STDCALL ReadAppInfo() override;
  HRESULT Q7K_STDCALL StartPONSequence() override;
  HRESULT Q7K_STDCALL InitTestParams(Q7K_INIT_PARAMS* initParams) override;
  HRESULT Q7K_STDCALL UpdateRuntimeParams(Q7K_RUNTM_PARAMS* runParams) override;
  HRESULT Q7K_STDCALL StartQ7kTest(Q7K_TEST_PARAMS* testParams) override;
  HRESULT Q7K_STDCALL
  FullRequestTestResults(Q7K_TEST_PARAMS* testParams, Q7K_TEST_DATA* testData,
                         Q7K_THERMAL_DATA* thermalData) override;
  HRESULT Q7K_STDCALL RequestTestResults(Q7K_TEST_PARAMS* testParams) override;
  HRESULT Q7K_STDCALL
  ReceiveTestResults(Q7K_TEST_PARAMS* testParams, Q7K_TEST_DATA* testData,
                     Q7K_THERMAL_DATA* thermalData) override;
  HRESULT Q7K_STDCALL StopQ7kTest() override;

  // IQ7kComm: post-processing
  HRESULT Q7K_STDCALL CalcWattsAdjustment(Q7K_TEST_PARAMS* testParams) override;
  HRESULT Q7K_STDCALL AdjustTestData(Q7K_TEST_PARAMS* testParams,
                                     Q7K_TEST_DATA* testData) override;
  HRESULT Q7K_STDCALL MeasureLineFrequency(short nMsg, float fMaxKVolts,
                                           float* pVal) override;

  // IQ7kComm: service and calibration
  HRESULT Q7K_STDCALL ReadThermalData(Q7K_THERMAL_DATA* thermalData) override;
  HRESULT Q7K_STDCALL ReadCalInfo() override;
  HRESULT Q7K_STDCALL SetXfmrBoundaryTemps(float fOverTemp,
                                           float fCooldownTemp) override;
  HRESULT Q7K_STDCALL ReadRefCalCoeffs() override;
  HRESULT Q7K_STDCALL RegWrite(int32_t lAddress, int32_t lVal) override;
  HRESULT Q7K_STDCALL RegRead(int32_t lAddress, int32_t* pVal) override;
  HRESULT Q7K_STDCALL RegOr(int32_t lAddress, int32_t lVal) override;
  HRESULT Q7K_STDCALL RegAnd(int32_t lAddress, int32_t lVal) override;
  HRESULT Q7K_STDCALL EnableSoftwareVerify(short nEnable) override;
  HRESULT Q7K_STDCALL SendTestWaveform(short nType, short nIndex, short nNext,
                                       short nPhase, short nSamples,
                                       float fAmpl) override;
  HRESULT Q7K_STDCALL EnableGuardCal(short nEnable) override;
  HRESULT Q7K_STDCALL EnableRefCal(short nCalType, short nEnable) override;
  HRESULT Q7K_STDCALL EnableSysCal(short nCalType, short nEnable) override;
  HRESULT Q7K_STDCALL UpdateRefCal(const float* fCoeffs) override;
  HRESULT Q7K_STDCALL UpdateGuardCal(const short* nDAC, float fRefGain,
                                     const float* fSpecGains,
                                     const float* fSpecPhases) override;
  HRESULT Q7K_STDCALL UpdateSysCal(short nCalType, float fRefGain,
                                   const float* fSpecGains,
                                   const float* fSpecPhases) override;
  HRESULT Q7K_STDCALL RequestRawResults(Q7K_RAW_DATA* rawData) override;
  HRESULT Q7K_STDCALL EnableSafetyMonitor(short nEnable) override;
  HRESULT Q7K_STDCALL RunChipSelectTest() override;
  HRESULT Q7K_STDCALL ContinuousWriteReg(int32_t lAddress,
                                         int32_t lVal) override;
  HRESULT Q7K_STDCALL ContinuousReadReg(int32_t lAddress) override;

  // IQ7kComm: board identity (board_identity_methods.cc)
  HRESULT Q7K_STDCALL ReadQ7ISerialNumber(int32_t* pVal) override;
  HRESULT Q7K_STDCALL ReadXfmrSerialNumber(BSTR* pVal) override;
  HRESULT Q7K_STDCALL ReadAssySerialNumber(short nSlot, short nSubslot,
                                           int32_t* pVal) override;
  HRESULT Q7K_STDCALL ReadCalDateInt(short nSlot, short nSubslot, short nFldCal,
                                     short* lpnDate) override;
  HRESULT Q7K_STDCALL ReadCalDate(short nSlot, short nSubslot,
                                  BSTR* pVal) override;
  HRESULT Q7K_STDCALL ReadGuardBoardRev(int32_t* pVal) override;
  HRESULT Q7K_STDCALL FindBoardSlot(BSTR bstrFind, short* pVal) override;

  // IQ7kComm: applications and flash
  HRESULT Q7K_STDCALL ReadDiskAppInfo(BSTR bstrAppName) override;
  HRESULT Q7K_STDCALL IsAppVersionValid() override;
  HRESULT Q7K_STDCALL FillAppParams(BSTR bstrFilename) override;
  HRESULT Q7K_STDCALL RestartLoader() override;
  HRESULT Q7K_STDCALL SendAppParams() override;
  HRESULT Q7K_STDCALL DownloadApp(BSTR bstrFilename) override;
  HRESULT Q7K_STDCALL DownloadComplete(short nTimeoutSec) override;
  HRESULT Q7K_STDCALL AbortDownload() override;
  HRESULT Q7K_STDCALL SearchForApp(BSTR bstrName, BSTR bstrDate, BSTR bstrTime,
                                   BSTR bstrVersion, short* nAppEntry) override;
  HRESULT Q7K_STDCALL ReadFlashDirectory() override;
  HRESULT Q7K_STDCALL ReadFlashDirInfo(short nAppEntry) override;
  HRESULT Q7K_STDCALL ExecuteApp(short nAppEntry) override;
  HRESULT Q7K_STDCALL DeleteApp(short nAppEntry) override;

  // IQ7kComm: port setup with the application check
  HRESULT Q7K_STDCALL SetupComm(Q7K_PORT port, Q7K_BPS bps,
                                short nTimeoutSec) override;
  HRESULT Q7K_STDCALL RestartBootLoader(Q7K_PORT port, Q7K_BPS bps,
                                        short nTimeoutSec) override;

  // IQ7kComm: progress window
  HRESULT Q7K_STDCALL DisplayMsgDlg(int32_t hWnd, BSTR bstrMsg) override;
  HRESULT Q7K_STDCALL DestroyMsgDlg() override;
  HRESULT Q7K_STDCALL ShowMsgProgress(short nLower, short nUpper) override;
  HRESULT Q7K_STDCALL StepMsgProgress(short nStep) override;

  // IQ7kCalStatus (cal_status_methods.cc)
  HRESULT Q7K_STDCALL get_CalStatus(short i, short* pVal) override;
  HRESULT Q7K_STDCALL get_ChecksumStatus(short i, short* pVal) override;
  HRESULT Q7K_STDCALL get_ReportedStatus(short i, short* pVal) override;
  HRESULT Q7K_STDCALL get_CalNumFactors(short i, short* pVal) override;
  HRESULT Q7K_STDCALL get_CalValidFactors(short i, short* pVal) override;
  HRESULT Q7K_STDCALL get_CalSerialNumError(short i, short* pVal) override;
  HRESULT Q7K_STDCALL get_CalStatusError(short i, short* pVal) override;
  HRESULT Q7K_STDCALL get_CalSerialNumber(short i, int32_t* pVal) override;
  HRESULT Q7K_STDCALL get_CalDone(short i, short* pVal) override;
  HRESULT Q7K_STDCALL get_CalDate(short i, BSTR* pVal) override;
  HRESULT Q7K_STDCALL InitCalStatusData(short nCalType) override;
  HRESULT Q7K_STDCALL TraceCalStatusData(short nCalType) override;
  HRESULT Q7K_STDCALL CheckCalStatus(short nCalType, short nCalDone) override;

  // IQ7kEeprom: the image (eeprom_image_methods.cc)
  HRESULT Q7K_STDCALL get_Checksum(short* pVal) override;
  HRESULT Q7K_STDCALL put_Checksum(short newVal) override;
  HRESULT Q7K_STDCALL get_ValInt(short i, short* pVal) override;
  HRESULT Q7K_STDCALL put_ValInt(short i, short newVal) override;
  HRESULT Q7K_STDCALL get_ValLong(short i, int32_t* pVal) override;
  HRESULT Q7K_STDCALL put_ValLong(short i, int32_t newVal) override;
  HRESULT Q7K_STDCALL get_ValFloat(short i, float* pVal) override;
  HRESULT Q7K_STDCALL put_ValFloat(short i, float newVal) override;
  HRESULT Q7K_STDCALL get_ValChars(short i, short nMax, BSTR* pVal) override;
  HRESULT Q7K_STDCALL put_ValChars(short i, short nMax, BSTR newVal) override;
  HRESULT Q7K_STDCALL get_ValDate(short i, BSTR* pVal) override;
  HRESULT Q7K_STDCALL put_ValDate(short i, BSTR newVal) override;
  HRESULT Q7K_STDCALL get_ValidBits(short i, short* pVal) override;
  HRESULT Q7K_STDCALL Float2Ints(float fData, short* nVal1,
                                 short* nVal2) override;
  HRESULT Q7K_STDCALL Ints2Float(short nData1, short nData2,
                                 float* fVal) override;
  HRESULT Q7K_STDCALL Int2Chars(short nData, BSTR* pVal) override;
  HRESULT Q7K_STDCALL Chars2Int(BSTR bstrVal, short* nVal) override;

  // IQ7kEeprom: transfers (eeprom_methods.cc)
  HRESULT Q7K_STDCALL ReadHeader(short nSlot, short nSubslot,
                                 short* pVal) override;
  HRESULT Q7K_STDCALL ReadInt(short nSlot, short nSubslot, short nLoc,
                              short* pVal) override;
  HRESULT Q7K_STDCALL ReadLong(short nSlot, short nSubslot, short nLoc,
                               int32_t* pVal) override;
  HRESULT Q7K_STDCALL ReadFloat(short nSlot, short nSubslot, short nLoc,
                                float* pVal) override;
  HRESULT Q7K_STDCALL WriteInt(short nSlot, short nSubslot, short nLoc,
                               short nVal) override;
  HRESULT Q7K_STDCALL WriteLong(short nSlot, short nSubslot, short nLoc,
                                int32_t lVal) override;
  HRESULT Q7K_STDCALL WriteFloat(short nSlot, short nSubslot, short nLoc,
                                 float fVal) override;
  HRESULT Q7K_STDCALL Read32(short nSlot, short nSubslot, short nStartLoc,
                             short* lpnVal, short* lpnSum) override;
  HRESULT Q7K_STDCALL Write32(short nSlot, short nSubslot, short nStartLoc,
                              const short* lpnVal) override;
  HRESULT Q7K_STDCALL ReadFloat16(short nSlot, short nSubslot, short nStartLoc,
                                  float* lpfVal) override;
  HRESULT Q7K_STDCALL WriteFloat16(short nSlot, short nSubslot, short nStartLoc,
                                   const float* lpfVal) override;
  HRESULT Q7K_STDCALL ReadContents(short nSlot, short nSubslot) override;
  HRESULT Q7K_STDCALL WriteContents(short nSlot, short nSubslot) override;
  HRESULT Q7K_STDCALL CalculateChecksum(short nSlot, short nSubslot,
                                        short* pVal) override;

  // IQ7kEeprom: safe update (safe_update_methods.cc)
  HRESULT Q7K_STDCALL SafeUpdate(short nSlot, short nSubslot, short nWrtCount,
                                 short nChecksum) override;
  HRESULT Q7K_STDCALL SafeWriteInt(short nSlot, short nSubslot, short nLoc,
                                   short nVal) override;
  HRESULT Q7K_STDCALL SafeWrite32(short nSlot, short nSubslot, short nLoc,
                                  const short* pVals) override;
  HRESULT Q7K_STDCALL SafeWriteFloat(short nSlot, short nSubslot, short nLoc,
                                     float fVal) override;
  HRESULT Q7K_STDCALL SafeWriteFloat16(short nSlot, short nSubslot, short nLoc,
                                       const float* pfVals) override;
  HRESULT Q7K_STDCALL SafeWriteBoardHeader(short nSlot,
                                           short nSubslot) override;
  HRESULT Q7K_STDCALL SafeWriteCalHeader(short nSlot, short nSubslot,
                                         short nCalType) override;

  // IQ7kEeprom: calibration pool (cal_pool_methods.cc)
  HRESULT Q7K_STDCALL ReadCalCoeffs(short nCalType) override;
  HRESULT Q7K_STDCALL ReadSysCoeffs(short nCalBlock) override;
  HRESULT Q7K_STDCALL ReadCalDataRevision(short* pVal) override;
  HRESULT Q7K_STDCALL SetCalPoolToDefault() override;

  // IQ7kLog
  HRESULT Q7K_STDCALL get_LogFilename(BSTR* pVal) override;
  HRESULT Q7K_STDCALL put_LogFilename(BSTR newVal) override;
  HRESULT Q7K_STDCALL BeginLog(BSTR bstrFilename) override;
  HRESULT Q7K_STDCALL WriteToLog(BSTR bstrEntry) override;

 private:
  // The failure tail of every failing method: publishes the current error
  // text (when there is one) as the thread's error information. Changes
  // nothing in the error record. Returns E_FAIL.
  HRESULT ReportFailure();

  // Opens a new link on port at speed code bps, replacing any previous one.
  // False with the reason recorded in the error record.
  bool CreatePort(int32_t port, int32_t bps);

  // Where commands go: the stand-in, else the link (null while no port is
  // open).
  Transactor* transactor() const;
  // What a subsystem needs for one call: the transactor and the error record.
  CommandChannel channel();
  // The command-method guard (command_guard.h): without a link the method
  // fails (nothing new recorded); with one it sends command with payload
  // and hands a verified reply to decode; any failure runs the tail.
  // DecodeReply is its reply half.
  template <typename Decode>
  HRESULT DecodeReply(const MessageBuffer& reply, size_t replyBytes,
                      Decode decode);
  template <typename Decode>
  HRESULT Command(uint16_t command, const uint8_t* payload, size_t size,
                  size_t replyBytes, Decode decode);
  HRESULT Command(uint16_t command, const uint8_t* payload = nullptr,
                  size_t size = 0);

  // Every interface method starts with `const auto lock = Serialize();`
  // (QueryInterface, AddRef and Release excepted); a test checks that.
  std::unique_lock<std::recursive_mutex> Serialize() {
    return std::unique_lock<std::recursive_mutex>(serial_);
  }

  // The one question a method with a simulated path asks, once.
  bool simulating() const { return sim_.on(); }
  // The component's own interfaces, for methods built from other methods.
  IQ7kComm* comm() { return this; }
  IQ7kEeprom* eeprom() { return this; }
  // Runs the safe update of spans with words on a board.
  HRESULT RunSafeWrite(short slot, short subslot,
                       const std::vector<Span>& spans,
                       const std::vector<uint16_t>& words);
  // The running application's description: from the simulator, or command 1.
  bool QueryRunningApp(AppInfo* out);
  // The flash entry holding app (0: none): from the simulator, or command 14.
  bool FindApp(const AppInfo& app, int16_t* entry);

  // The firmware operations' view of the progress window and the component
  // (firmware_methods.cc, setup_methods.cc).
  class SetupSession;
  ProgressTarget progress();

  std::atomic<uint32_t> refs_{0};
  std::recursive_mutex serial_;

  // Fields in the order the system declares them.
  std::unique_ptr<InstrumentLink> link_;
  // Takes the commands in the link's place: the built-in instrument on a
  // port created in simulation, or a transactor a test attached.
  std::unique_ptr<Transactor> standIn_;
  std::unique_ptr<ErrorState> errorState_;  // never null until destruction
  ClientLog clientLog_;
  ProgressDialogSlot progress_;
  int32_t parentHwnd_ = 0;
  bool enableTrace_ = false;
  bool requireReboot_ = false;
  // The simulation switches, the simulator's state and its answers.
  SimulatedInstrument sim_;
  AppInfo currentApp_{};
  FlashDirectory flashDirectory_;
  AppParams appParams_{};
  CalibrationCache cal_;
  EepromImage image_;
  CalibrationStatus calStatus_;
};

}  // namespace q7k

#endif  // Q7K_COMPONENT_Q7K_COMM_OBJECT_H_
