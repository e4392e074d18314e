// The component object through the public API only, as a host sees it.
#include "component/q7k_comm_object.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/component_fixture.h"

namespace q7k {
namespace {

std::vector<std::string> Lines(const Bstr& text) {
  std::vector<std::string> lines;
  std::istringstream in(text.utf8());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ComponentTest : public ComponentFixture {
 protected:
  // Records an error the way a failing transaction does: ListAppErrors
  // records and clears, so use a failing open instead.
  void RecordPortNotFound() {
    SetSerialPortPath(7, "/nonexistent/q7k-device");
    EXPECT_EQ(comm_->OpenPort(static_cast<Q7K_PORT>(7), BPS_9600), E_FAIL);
    comm_->ClosePort();
    SetSerialPortPath(7, "");
  }
};

TEST_F(ComponentTest, CreationAndInterfaces) {
  ComPtr<IQ7kComm> versioned;
  EXPECT_EQ(
      CreateInstance("Veltrax.Q7kComm.1", IID_IQ7kComm, versioned.AsVoidOut()),
      S_OK);
  ComPtr<IQ7kLog> log;
  ComPtr<IQ7kEeprom> eeprom;
  ComPtr<IQ7kCalStatus> cal;
  ComPtr<IQ7kComm> back, none;
  EXPECT_EQ(comm_.As(IID_IQ7kLog, &log), S_OK);
  EXPECT_EQ(log.As(IID_IQ7kEeprom, &eeprom), S_OK);
  EXPECT_EQ(eeprom.As(IID_IQ7kCalStatus, &cal), S_OK);
  EXPECT_EQ(cal.As(IID_IQ7kComm, &back), S_OK);
  EXPECT_EQ(back.Get(), comm_.Get());
  ComPtr<IUnknown> unknown1, unknown2;
  EXPECT_EQ(log.As(IID_IUnknown, &unknown1), S_OK);
  EXPECT_EQ(cal.As(IID_IUnknown, &unknown2), S_OK);
  EXPECT_EQ(unknown1.Get(), unknown2.Get());  // one identity
  EXPECT_EQ(comm_.As(LIBID_Q7KCOMMLib, &none), E_NOINTERFACE);
  EXPECT_FALSE(none);

  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(comm_.As(IID_ISupportErrorInfo, &support), S_OK);
  for (const GUID* iid :
       {&IID_IQ7kComm, &IID_IQ7kCalStatus, &IID_IQ7kEeprom, &IID_IQ7kLog}) {
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(*iid), S_OK);
  }
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IUnknown), S_FALSE);

  ComPtr<IQ7kComm> byClsid, byProgId;
  EXPECT_EQ(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, byClsid.AsVoidOut()),
            S_OK);
  EXPECT_EQ(
      CreateInstance("Veltrax.Q7kComm", IID_IQ7kComm, byProgId.AsVoidOut()),
      S_OK);
  EXPECT_NE(byClsid.Get(), byProgId.Get());
  void* p = &p;
  EXPECT_EQ(CreateInstance("Other.Thing", IID_IQ7kComm, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(CreateInstance(IID_IQ7kComm, IID_IQ7kComm, &p), E_NOINTERFACE);
}

// Values the component normalises or refuses; plain echoes are not tested.
TEST_F(ComponentTest, PropertiesNormaliseAndBoundTheirValues) {
  comm_->put_EnableTrace(-1);
  EXPECT_EQ(Get(&IQ7kComm::get_EnableTrace), 1);
  comm_->put_RequireReboot(5);
  EXPECT_EQ(Get(&IQ7kComm::get_RequireReboot), 1);
  Q7K_LANGUAGE language = LANGUAGE_FRENCH;
  comm_->get_Language(&language);
  EXPECT_EQ(language, LANGUAGE_ENGLISH);

  float f = 7.0f;
  comm_->put_CalResistor(NBLUE_RES, 2.5f);
  comm_->put_GainCoeffs(9, 4.5f);
  // Out of bounds: rejected, and the neighbours keep their values.
  EXPECT_EQ(comm_->put_CalResistor(static_cast<REFCAL_INDEX>(5), 9.0f),
            E_INVALIDARG);
  EXPECT_EQ(comm_->put_CalPoleFreq(static_cast<REFCAL_INDEX>(-1), 9.0f),
            E_INVALIDARG);
  EXPECT_EQ(comm_->put_GainCoeffs(10, 9.0f), E_INVALIDARG);
  EXPECT_EQ(comm_->put_PhaseCoeffs(-1, 9.0f), E_INVALIDARG);
  EXPECT_EQ(comm_->get_GainCoeffs(10, &f), E_INVALIDARG);
  EXPECT_EQ(f, 7.0f);
  comm_->get_CalResistor(NBLUE_RES, &f);
  EXPECT_EQ(f, 2.5f);
  comm_->get_GainCoeffs(9, &f);
  EXPECT_EQ(f, 4.5f);
}

TEST_F(ComponentTest, ErrorRecordKeepsClearsAndRepublishes) {
  ErrorInfo info;
  EXPECT_EQ(comm_->StartPONSequence(), E_FAIL);
  EXPECT_EQ(GetErrorInfo(&info), S_FALSE);  // nothing recorded yet
  EXPECT_EQ(Code(), 0);

  RecordPortNotFound();
  ASSERT_EQ(GetErrorInfo(&info), S_OK);
  EXPECT_EQ(info.description, u"COM port not found");
  EXPECT_EQ(info.source, u"Veltrax.Q7kComm.1");
  EXPECT_EQ(info.iid, IID_IQ7kComm);
  EXPECT_EQ(info.helpContext, 0u);
  EXPECT_EQ(GetErrorInfo(&info), S_FALSE);  // taken
  // A failure without a port republishes the last text.
  EXPECT_EQ(comm_->StartPONSequence(), E_FAIL);
  ASSERT_EQ(GetErrorInfo(&info), S_OK);
  EXPECT_EQ(info.description, u"COM port not found");

  EXPECT_EQ(Code(), 298);
  EXPECT_EQ(Code(), 298);  // reading keeps it
  short last = 0;
  EXPECT_EQ(comm_->get_LastError(&last), S_OK);
  EXPECT_EQ(last, 298);
  EXPECT_EQ(comm_->get_LastError(&last), S_OK);
  EXPECT_EQ(last, 0);
  Bstr msg;
  comm_->get_ErrorMsg(msg.out());
  EXPECT_EQ(msg.get(), nullptr);
  RecordPortNotFound();
  EXPECT_EQ(comm_->ClearError(), S_OK);
  EXPECT_EQ(Code(), 0);
}

TEST_F(ComponentTest, LanguageChangesOnlyLaterTexts) {
  RecordPortNotFound();
  comm_->put_Language(LANGUAGE_SPANISH);
  EXPECT_EQ(Message(), "COM port not found");
  RecordPortNotFound();
  EXPECT_EQ(Message(), "Puerto COM no encontrado");

  // An unknown language: codes still set, no text, nothing published.
  comm_->put_Language(static_cast<Q7K_LANGUAGE>(7));
  comm_->ClearError();
  ClearErrorInfo();
  RecordPortNotFound();
  EXPECT_EQ(Code(), 298);
  EXPECT_EQ(Message(), "");
  ErrorInfo info;
  EXPECT_EQ(GetErrorInfo(&info), S_FALSE);
}

TEST_F(ComponentTest, ListAppErrorsWalksTheCodeSpaceAndClears) {
  RecordPortNotFound();
  Bstr list;
  ASSERT_EQ(comm_->ListAppErrors(list.out()), S_OK);
  const auto lines = Lines(list);
  ASSERT_EQ(lines.size(), 65u);
  const std::pair<size_t, std::string> expected[] = {
      {0, "[0] Undefined"},
      {5, "[5] Not Enough Free Space in FLASH for Application"},
      {14, "[-1] Undefined Error"},
      {20, "[20] Watchdog Reset Error - Woof Woof Woof" +
               std::string(64 - 14, ' ')},
      {21, "[21] Invalid Message Parameter - (Parameter #321)"},
      {22, "[14] Test Not Running"},
      {33,
       "[33] Test Not Running - One or Both Safety Switch Cables "
       "Disconnected"},
      {41, "[41] Test Not Running - Strobe Not Flashing"},
      {64, "[64] Test Not Running - Requested Maximum Voltage Exceeded"}};
  for (const auto& [at, text] : expected) EXPECT_EQ(lines[at], text);
  EXPECT_EQ(Code(), 0);

  comm_->put_Language(LANGUAGE_PORTUGUESE);
  ASSERT_EQ(comm_->ListAppErrors(list.out()), S_OK);
  const auto pt = Lines(list);
  ASSERT_EQ(pt.size(), 65u);
  EXPECT_EQ(pt[14], "[-1] Erro não definido");
  EXPECT_EQ(pt[41],
            "[41] Teste não está ocorrendo - Estrobo não está piscando");

  // Without texts only what the instrument itself sent remains.
  comm_->put_Language(static_cast<Q7K_LANGUAGE>(9));
  ASSERT_EQ(comm_->ListAppErrors(list.out()), S_OK);
  for (const std::string& line : Lines(list)) {
    EXPECT_EQ(line.find("Undefined"), std::string::npos) << line;
    EXPECT_NE(line.substr(0, 4), "[0] ") << line;
  }
}

TEST_F(ComponentTest, ListCommErrorsNeedsAPort) {
  Bstr list = Bstr::FromUtf8("untouched");
  BSTR raw = list.get();
  EXPECT_EQ(comm_->ListCommErrors(&raw), S_FALSE);
  EXPECT_EQ(raw, list.get());
}

// The log itself: ClientLogTest.
TEST_F(ComponentTest, ClientLogForwarding) {
  ComPtr<IQ7kLog> log;
  ASSERT_EQ(comm_.As(IID_IQ7kLog, &log), S_OK);
  Bstr name;
  EXPECT_EQ(log->put_LogFilename(Bstr(u"client.log").get()), S_OK);
  EXPECT_EQ(log->get_LogFilename(name.out()), S_OK);
  EXPECT_EQ(name.utf8(), "client.log");
  EXPECT_EQ(log->WriteToLog(Bstr(u"café").get()), S_OK);
  EXPECT_EQ(ReadFileBytes(dir_.File("client.log")), "caf\xe9\n");
}

}  // namespace
}  // namespace q7k
