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

  // IUnknown
  HRESULT QueryInterface(const GUID& iid, void** ppv) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  // ISupportErrorInfo
  HRESULT InterfaceSupportsErrorInfo(const GUID& iid) override;

  // IQ7kComm: identity and errors
  HRESULT get_Version(BSTR* pVal) override;
  HRESULT get_LastError(short* pVal) override;
  HRESULT get_ErrorCode(short* pVal) override;
  HRESULT get_ErrorMsg(BSTR* pVal) override;
  HRESULT get_Language(Q7K_LANGUAGE* pVal) override;
  HRESULT put_Language(Q7K_LANGUAGE newVal) override;
  HRESULT ClearError() override;
  HRESULT ListCommErrors(BSTR* pVal) override;
  HRESULT ListAppErrors(BSTR* pVal) override;

  // IQ7kComm: settings
  HRESULT get_EnableTrace(short* pVal) override;
  HRESULT put_EnableTrace(short newVal) override;
  HRESULT get_RequireReboot(short* pVal) override;
  HRESULT put_RequireReboot(short newVal) override;
  HRESULT get_SimulBoxType(short* pVal) override;
  HRESULT put_SimulBoxType(short newVal) override;
  HRESULT get_SimulFast(short* pVal) override;
  HRESULT put_SimulFast(short newVal) override;
  HRESULT get_SimulMode(SIMUL_MODE* pVal) override;
  HRESULT put_SimulMode(SIMUL_MODE newVal) override;
  HRESULT get_ParentHwnd(int32_t* pVal) override;
  HRESULT put_ParentHwnd(int32_t newVal) override;

  // IQ7kComm: application record and caches
  HRESULT get_AppName(BSTR* pVal) override;
  HRESULT get_AppDate(BSTR* pVal) override;
  HRESULT get_AppTime(BSTR* pVal) override;
  HRESULT get_AppVersion(BSTR* pVal) override;
  HRESULT get_AppDescription(BSTR* pVal) override;
  HRESULT get_FlashDirCount(short* pVal) override;
  HRESULT get_CalRevision(short* pVal) override;
  HRESULT get_CalResistor(REFCAL_INDEX i, float* pVal) override;
  HRESULT put_CalResistor(REFCAL_INDEX i, float newVal) override;
  HRESULT get_CalPoleFreq(REFCAL_INDEX i, float* pVal) override;
  HRESULT put_CalPoleFreq(REFCAL_INDEX i, float newVal) override;
  HRESULT get_GainCoeffs(short i, float* pVal) override;
  HRESULT put_GainCoeffs(short i, float newVal) override;
  HRESULT get_PhaseCoeffs(short i, float* pVal) override;
  HRESULT put_PhaseCoeffs(short i, float newVal) override;

  // IQ7kComm: port
  HRESULT OpenPort(Q7K_PORT port, Q7K_BPS bps) override;
  HRESULT ClosePort() override;
  HRESULT IsPortOpen(short* pVal) override;
  HRESULT RunLoopbackTest(Q7K_PORT port, Q7K_BPS bps) override;
  HRESULT TimerDelay(int32_t lMilliseconds, short nWinMsg) override;

  // IQ7kComm: tests
  HRESULT ReadAppInfo() override;
  HRESULT StartPONSequence() override;
  HRESULT InitTestParams(Q7K_INIT_PARAMS* initParams) override;
  HRESULT UpdateRuntimeParams(Q7K_RUNTM_PARAMS* runParams) override;
  HRESULT StartQ7kTest(Q7K_TEST_PARAMS* testParams) override;
  HRESULT FullRequestTestResults(Q7K_TEST_PARAMS* testParams,
                                 Q7K_TEST_DATA* testData,
                                 Q7K_THERMAL_DATA* thermalData) override;
  HRESULT RequestTestResults(Q7K_TEST_PARAMS* testParams) override;
  HRESULT ReceiveTestResults(Q7K_TEST_PARAMS* testParams,
                             Q7K_TEST_DATA* testData,
                             Q7K_THERMAL_DATA* thermalData) override;
  HRESULT StopQ7kTest() override;

  // IQ7kComm: post-processing
  HRESULT CalcWattsAdjustment(Q7K_TEST_PARAMS* testParams) override;
  HRESULT AdjustTestData(Q7K_TEST_PARAMS* testParams,
                         Q7K_TEST_DATA* testData) override;
  HRESULT MeasureLineFrequency(short nMsg, float fMaxKVolts,
                               float* pVal) override;

  // IQ7kComm: service and calibration
  HRESULT ReadThermalData(Q7K_THERMAL_DATA* thermalData) override;
  HRESULT ReadCalInfo() override;
  HRESULT SetXfmrBoundaryTemps(float fOverTemp, float fCooldownTemp) override;
  HRESULT ReadRefCalCoeffs() override;
  HRESULT RegWrite(int32_t lAddress, int32_t lVal) override;
  HRESULT RegRead(int32_t lAddress, int32_t* pVal) override;
  HRESULT RegOr(int32_t lAddress, int32_t lVal) override;
  HRESULT RegAnd(int32_t lAddress, int32_t lVal) override;
  HRESULT EnableSoftwareVerify(short nEnable) override;
  HRESULT SendTestWaveform(short nType, short nIndex, short nNext, short nPhase,
                           short nSamples, float fAmpl) override;
  HRESULT EnableGuardCal(short nEnable) override;
  HRESULT EnableRefCal(short nCalType, short nEnable) override;
  HRESULT EnableSysCal(short nCalType, short nEnable) override;
  HRESULT UpdateRefCal(const float* fCoeffs) override;
  HRESULT UpdateGuardCal(const short* nDAC, float fRefGain,
                         const float* fSpecGains,
                         const float* fSpecPhases) override;
  HRESULT UpdateSysCal(short nCalType, float fRefGain, const float* fSpecGains,
                       const float* fSpecPhases) override;
  HRESULT RequestRawResults(Q7K_RAW_DATA* rawData) override;
  HRESULT EnableSafetyMonitor(short nEnable) override;
  HRESULT RunChipSelectTest() override;
  HRESULT ContinuousWriteReg(int32_t lAddress, int32_t lVal) override;
  HRESULT ContinuousReadReg(int32_t lAddress) override;

  // IQ7kComm: board identity (board_identity_methods.cc)
  HRESULT ReadQ7ISerialNumber(int32_t* pVal) override;
  HRESULT ReadXfmrSerialNumber(BSTR* pVal) override;
  HRESULT ReadAssySerialNumber(short nSlot, short nSubslot,
                               int32_t* pVal) override;
  HRESULT ReadCalDateInt(short nSlot, short nSubslot, short nFldCal,
                         short* lpnDate) override;
  HRESULT ReadCalDate(short nSlot, short nSubslot, BSTR* pVal) override;
  HRESULT ReadGuardBoardRev(int32_t* pVal) override;
  HRESULT FindBoardSlot(BSTR bstrFind, short* pVal) override;

  // IQ7kComm: applications and flash
  HRESULT ReadDiskAppInfo(BSTR bstrAppName) override;
  HRESULT IsAppVersionValid() override;
  HRESULT FillAppParams(BSTR bstrFilename) override;
  HRESULT RestartLoader() override;
  HRESULT SendAppParams() override;
  HRESULT DownloadApp(BSTR bstrFilename) override;
  HRESULT DownloadComplete(short nTimeoutSec) override;
  HRESULT AbortDownload() override;
  HRESULT SearchForApp(BSTR bstrName, BSTR bstrDate, BSTR bstrTime,
                       BSTR bstrVersion, short* nAppEntry) override;
  HRESULT ReadFlashDirectory() override;
  HRESULT ReadFlashDirInfo(short nAppEntry) override;
  HRESULT ExecuteApp(short nAppEntry) override;
  HRESULT DeleteApp(short nAppEntry) override;

  // IQ7kComm: port setup with the application check
  HRESULT SetupComm(Q7K_PORT port, Q7K_BPS bps, short nTimeoutSec) override;
  HRESULT RestartBootLoader(Q7K_PORT port, Q7K_BPS bps,
                            short nTimeoutSec) override;

  // IQ7kComm: progress window
  HRESULT DisplayMsgDlg(int32_t hWnd, BSTR bstrMsg) override;
  HRESULT DestroyMsgDlg() override;
  HRESULT ShowMsgProgress(short nLower, short nUpper) override;
  HRESULT StepMsgProgress(short nStep) override;

  // IQ7kCalStatus (cal_status_methods.cc)
  HRESULT get_CalStatus(short i, short* pVal) override;
  HRESULT get_ChecksumStatus(short i, short* pVal) override;
  HRESULT get_ReportedStatus(short i, short* pVal) override;
  HRESULT get_CalNumFactors(short i, short* pVal) override;
  HRESULT get_CalValidFactors(short i, short* pVal) override;
  HRESULT get_CalSerialNumError(short i, short* pVal) override;
  HRESULT get_CalStatusError(short i, short* pVal) override;
  HRESULT get_CalSerialNumber(short i, int32_t* pVal) override;
  HRESULT get_CalDone(short i, short* pVal) override;
  HRESULT get_CalDate(short i, BSTR* pVal) override;
  HRESULT InitCalStatusData(short nCalType) override;
  HRESULT TraceCalStatusData(short nCalType) override;
  HRESULT CheckCalStatus(short nCalType, short nCalDone) override;

  // IQ7kEeprom: the image (eeprom_image_methods.cc)
  HRESULT get_Checksum(short* pVal) override;
  HRESULT put_Checksum(short newVal) override;
  HRESULT get_ValInt(short i, short* pVal) override;
  HRESULT put_ValInt(short i, short newVal) override;
  HRESULT get_ValLong(short i, int32_t* pVal) override;
  HRESULT put_ValLong(short i, int32_t newVal) override;
  HRESULT get_ValFloat(short i, float* pVal) override;
  HRESULT put_ValFloat(short i, float newVal) override;
  HRESULT get_ValChars(short i, short nMax, BSTR* pVal) override;
  HRESULT put_ValChars(short i, short nMax, BSTR newVal) override;
  HRESULT get_ValDate(short i, BSTR* pVal) override;
  HRESULT put_ValDate(short i, BSTR newVal) override;
  HRESULT get_ValidBits(short i, short* pVal) override;
  HRESULT Float2Ints(float fData, short* nVal1, short* nVal2) override;
  HRESULT Ints2Float(short nData1, short nData2, float* fVal) override;
  HRESULT Int2Chars(short nData, BSTR* pVal) override;
  HRESULT Chars2Int(BSTR bstrVal, short* nVal) override;

  // IQ7kEeprom: transfers (eeprom_methods.cc)
  HRESULT ReadHeader(short nSlot, short nSubslot, short* pVal) override;
  HRESULT ReadInt(short nSlot, short nSubslot, short nLoc,
                  short* pVal) override;
  HRESULT ReadLong(short nSlot, short nSubslot, short nLoc,
                   int32_t* pVal) override;
  HRESULT ReadFloat(short nSlot, short nSubslot, short nLoc,
                    float* pVal) override;
  HRESULT WriteInt(short nSlot, short nSubslot, short nLoc,
                   short nVal) override;
  HRESULT WriteLong(short nSlot, short nSubslot, short nLoc,
                    int32_t lVal) override;
  HRESULT WriteFloat(short nSlot, short nSubslot, short nLoc,
                     float fVal) override;
  HRESULT Read32(short nSlot, short nSubslot, short nStartLoc, short* lpnVal,
                 short* lpnSum) override;
  HRESULT Write32(short nSlot, short nSubslot, short nStartLoc,
                  const short* lpnVal) override;
  HRESULT ReadFloat16(short nSlot, short nSubslot, short nStartLoc,
                      float* lpfVal) override;
  HRESULT WriteFloat16(short nSlot, short nSubslot, short nStartLoc,
                       const float* lpfVal) override;
  HRESULT ReadContents(short nSlot, short nSubslot) override;
  HRESULT WriteContents(short nSlot, short nSubslot) override;
  HRESULT CalculateChecksum(short nSlot, short nSubslot, short* pVal) override;

  // IQ7kEeprom: safe update (safe_update_methods.cc)
  HRESULT SafeUpdate(short nSlot, short nSubslot, short nWrtCount,
                     short nChecksum) override;
  HRESULT SafeWriteInt(short nSlot, short nSubslot, short nLoc,
                       short nVal) override;
  HRESULT SafeWrite32(short nSlot, short nSubslot, short nLoc,
                      const short* pVals) override;
  HRESULT SafeWriteFloat(short nSlot, short nSubslot, short nLoc,
                         float fVal) override;
  HRESULT SafeWriteFloat16(short nSlot, short nSubslot, short nLoc,
                           const float* pfVals) override;
  HRESULT SafeWriteBoardHeader(short nSlot, short nSubslot) override;
  HRESULT SafeWriteCalHeader(short nSlot, short nSubslot,
                             short nCalType) override;

  // IQ7kEeprom: calibration pool (cal_pool_methods.cc)
  HRESULT ReadCalCoeffs(short nCalType) override;
  HRESULT ReadSysCoeffs(short nCalBlock) override;
  HRESULT ReadCalDataRevision(short* pVal) override;
  HRESULT SetCalPoolToDefault() override;

  // IQ7kLog
  HRESULT get_LogFilename(BSTR* pVal) override;
  HRESULT put_LogFilename(BSTR newVal) override;
  HRESULT BeginLog(BSTR bstrFilename) override;
  HRESULT WriteToLog(BSTR bstrEntry) override;

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
