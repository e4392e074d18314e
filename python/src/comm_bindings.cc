#include <pybind11/stl.h>

#include <array>

#include "bindings.h"

namespace q7k::python {
namespace {

using Gains = std::array<float, 10>;

// The methods with arrays: fixed lengths, checked by the conversion.
void BindArrayMethods(CommClass& c) {
  c.def("UpdateRefCal", [](const Comm& x, const std::array<float, 6>& coeffs) {
    IQ7kComm* p = Live<IQ7kComm>(x);
    return Run(x, [&] { return p->UpdateRefCal(coeffs.data()); });
  });
  c.def("UpdateGuardCal",
        [](const Comm& x, const std::array<short, 4>& dac, float refGain,
           const Gains& gains, const Gains& phases) {
          IQ7kComm* p = Live<IQ7kComm>(x);
          return Run(x, [&] {
            return p->UpdateGuardCal(dac.data(), refGain, gains.data(),
                                          phases.data());
          });
        });
  c.def("UpdateSysCal", [](const Comm& x, short calType, float refGain,
                           const Gains& gains, const Gains& phases) {
    IQ7kComm* p = Live<IQ7kComm>(x);
    return Run(x, [&] {
      return p->UpdateSysCal(calType, refGain, gains.data(),
                                  phases.data());
    });
  });
  c.def("ReadCalDateInt",
        [](const Comm& x, short slot, short subslot, short fieldCal) {
          IQ7kComm* p = Live<IQ7kComm>(x);
          std::array<short, 4> date{};
          Run(x, [&] {
            return p->ReadCalDateInt(slot, subslot, fieldCal, date.data());
          });
          return date;
        },
        "Month, day, year and the fourth value, as a list.");
}

}  // namespace

void BindComm(CommClass& c) {
  Q7K_PY_READONLY(c, IQ7kComm, Version);
  Q7K_PY_READONLY(c, IQ7kComm, LastError);
  Q7K_PY_READONLY(c, IQ7kComm, ErrorCode);
  Q7K_PY_READONLY(c, IQ7kComm, ErrorMsg);
  Q7K_PY_PROPERTY(c, IQ7kComm, Language);
  Q7K_PY_METHOD(c, IQ7kComm, ClearError);
  Q7K_PY_METHOD(c, IQ7kComm, ListCommErrors);
  Q7K_PY_METHOD(c, IQ7kComm, ListAppErrors);

  Q7K_PY_PROPERTY(c, IQ7kComm, EnableTrace);
  Q7K_PY_PROPERTY(c, IQ7kComm, RequireReboot);
  Q7K_PY_PROPERTY(c, IQ7kComm, SimulBoxType);
  Q7K_PY_PROPERTY(c, IQ7kComm, SimulFast);
  Q7K_PY_PROPERTY(c, IQ7kComm, SimulMode);
  Q7K_PY_PROPERTY(c, IQ7kComm, ParentHwnd);

  Q7K_PY_READONLY(c, IQ7kComm, AppName);
  Q7K_PY_READONLY(c, IQ7kComm, AppDate);
  Q7K_PY_READONLY(c, IQ7kComm, AppTime);
  Q7K_PY_READONLY(c, IQ7kComm, AppVersion);
  Q7K_PY_READONLY(c, IQ7kComm, AppDescription);
  Q7K_PY_READONLY(c, IQ7kComm, FlashDirCount);
  Q7K_PY_READONLY(c, IQ7kComm, CalRevision);
  Q7K_PY_INDEXED(c, IQ7kComm, CalResistor);
  Q7K_PY_INDEXED(c, IQ7kComm, CalPoleFreq);
  Q7K_PY_INDEXED(c, IQ7kComm, GainCoeffs);
  Q7K_PY_INDEXED(c, IQ7kComm, PhaseCoeffs);

  Q7K_PY_METHOD(c, IQ7kComm, OpenPort);
  Q7K_PY_METHOD(c, IQ7kComm, ClosePort);
  Q7K_PY_METHOD(c, IQ7kComm, IsPortOpen);
  Q7K_PY_METHOD(c, IQ7kComm, RunLoopbackTest);
  Q7K_PY_METHOD(c, IQ7kComm, TimerDelay);

  Q7K_PY_METHOD(c, IQ7kComm, ReadAppInfo);
  Q7K_PY_METHOD(c, IQ7kComm, StartPONSequence);
  Q7K_PY_METHOD(c, IQ7kComm, InitTestParams);
  Q7K_PY_METHOD(c, IQ7kComm, UpdateRuntimeParams);
  Q7K_PY_METHOD(c, IQ7kComm, StartQ7kTest);
  Q7K_PY_METHOD(c, IQ7kComm, FullRequestTestResults);
  Q7K_PY_METHOD(c, IQ7kComm, RequestTestResults);
  Q7K_PY_METHOD(c, IQ7kComm, ReceiveTestResults);
  Q7K_PY_METHOD(c, IQ7kComm, StopQ7kTest);
  Q7K_PY_METHOD(c, IQ7kComm, CalcWattsAdjustment);
  Q7K_PY_METHOD(c, IQ7kComm, AdjustTestData);
  Q7K_PY_METHOD(c, IQ7kComm, MeasureLineFrequency);

  Q7K_PY_METHOD(c, IQ7kComm, ReadThermalData);
  Q7K_PY_METHOD(c, IQ7kComm, ReadCalInfo);
  Q7K_PY_METHOD(c, IQ7kComm, SetXfmrBoundaryTemps);
  Q7K_PY_METHOD(c, IQ7kComm, ReadRefCalCoeffs);
  Q7K_PY_METHOD(c, IQ7kComm, RegWrite);
  Q7K_PY_METHOD(c, IQ7kComm, RegRead);
  Q7K_PY_METHOD(c, IQ7kComm, RegOr);
  Q7K_PY_METHOD(c, IQ7kComm, RegAnd);
  Q7K_PY_METHOD(c, IQ7kComm, EnableSoftwareVerify);
  Q7K_PY_METHOD(c, IQ7kComm, SendTestWaveform);
  Q7K_PY_METHOD(c, IQ7kComm, EnableGuardCal);
  Q7K_PY_METHOD(c, IQ7kComm, EnableRefCal);
  Q7K_PY_METHOD(c, IQ7kComm, EnableSysCal);
  Q7K_PY_METHOD(c, IQ7kComm, RequestRawResults);
  Q7K_PY_METHOD(c, IQ7kComm, EnableSafetyMonitor);
  Q7K_PY_METHOD(c, IQ7kComm, RunChipSelectTest);
  Q7K_PY_METHOD(c, IQ7kComm, ContinuousWriteReg);
  Q7K_PY_METHOD(c, IQ7kComm, ContinuousReadReg);

  Q7K_PY_METHOD(c, IQ7kComm, ReadQ7ISerialNumber);
  Q7K_PY_METHOD(c, IQ7kComm, ReadXfmrSerialNumber);
  Q7K_PY_METHOD(c, IQ7kComm, ReadAssySerialNumber);
  Q7K_PY_METHOD(c, IQ7kComm, ReadCalDate);
  Q7K_PY_METHOD(c, IQ7kComm, ReadGuardBoardRev);
  Q7K_PY_METHOD(c, IQ7kComm, FindBoardSlot);

  Q7K_PY_METHOD(c, IQ7kComm, ReadDiskAppInfo);
  Q7K_PY_METHOD(c, IQ7kComm, IsAppVersionValid);
  Q7K_PY_METHOD(c, IQ7kComm, FillAppParams);
  Q7K_PY_METHOD(c, IQ7kComm, RestartLoader);
  Q7K_PY_METHOD(c, IQ7kComm, SendAppParams);
  Q7K_PY_METHOD(c, IQ7kComm, DownloadApp);
  Q7K_PY_METHOD(c, IQ7kComm, DownloadComplete);
  Q7K_PY_METHOD(c, IQ7kComm, AbortDownload);
  Q7K_PY_METHOD(c, IQ7kComm, SearchForApp);
  Q7K_PY_METHOD(c, IQ7kComm, ReadFlashDirectory);
  Q7K_PY_METHOD(c, IQ7kComm, ReadFlashDirInfo);
  Q7K_PY_METHOD(c, IQ7kComm, ExecuteApp);
  Q7K_PY_METHOD(c, IQ7kComm, DeleteApp);

  Q7K_PY_METHOD(c, IQ7kComm, SetupComm);
  Q7K_PY_METHOD(c, IQ7kComm, RestartBootLoader);

  Q7K_PY_METHOD(c, IQ7kComm, DisplayMsgDlg);
  Q7K_PY_METHOD(c, IQ7kComm, DestroyMsgDlg);
  Q7K_PY_METHOD(c, IQ7kComm, ShowMsgProgress);
  Q7K_PY_METHOD(c, IQ7kComm, StepMsgProgress);

  BindArrayMethods(c);
}

}  // namespace q7k::python
