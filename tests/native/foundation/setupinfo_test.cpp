// Reading setup information files and the model lookup.
#include "foundation/setupinfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/native/support/sim_fixture.h"

namespace kv {
namespace {

using test::SimMachine;

constexpr const char* kSii = "C:\\medium\\kv.sii";

class ModelLookup : public ::testing::Test {
 protected:
  ModelLookup() : m(sim::WindowsVersion::XP) {}
  void Sii(const std::string& text) {
    ASSERT_TRUE(m.os().WriteTextFile(kSii, text));
  }
  std::string driver() { return m.ctx().driverName; }
  std::string deviceId() { return m.ctx().deviceId; }
  SimMachine m;
};

TEST_F(ModelLookup, SingleModelIsUsedWhateverTheName) {
  Sii("[Initial]\r\nProduct=KORVA\r\n[ModelName]\r\nnModelNum=1\r\n"
      "Model1=KV-100\r\n[DevID]\r\nKV-100=KORVAKV-1004C2F\r\n");
  EXPECT_EQ(LookupModel(m.ctx(), "something else", kSii), 1);
  EXPECT_EQ(driver(), "KORVA KV-100");
  EXPECT_EQ(deviceId(), "KORVAKV-1004C2F");
}

TEST_F(ModelLookup, ListSearchIgnoresCaseAndStopsAtCount) {
  Sii("[Initial]\r\nProduct=KORVA\r\n[ModelName]\r\nnModelNum=3\r\n"
      "Model1=A\r\nModel2=B\r\nModel3=C\r\nModel4=D\r\n"
      "[DevID]\r\nA=ID-A\r\nB=ID-B\r\nC=ID-C\r\nD=ID-D\r\n");
  LookupModel(m.ctx(), "b", kSii);
  EXPECT_EQ(driver(), "KORVA B");  // the file's spelling
  EXPECT_EQ(deviceId(), "ID-B");

  // D is listed but beyond the count: not found, device id unchanged.
  LookupModel(m.ctx(), "D", kSii);
  EXPECT_EQ(driver(), "KORVA ");
  EXPECT_EQ(deviceId(), "ID-B");
}

TEST_F(ModelLookup, MissingOrZeroCountStillExaminesModel1) {
  for (const char* count : {"", "nModelNum=0\r\n", "nModelNum=-5\r\n"}) {
    SCOPED_TRACE(count);
    Sii(std::string("[Initial]\r\nProduct=P\r\n[ModelName]\r\n") + count +
        "Model1=M1\r\nModel2=M2\r\n[DevID]\r\nM1=DEV1\r\nM2=DEV2\r\n");
    std::strcpy(m.ctx().deviceId, "previous");
    LookupModel(m.ctx(), "m1", kSii);
    EXPECT_EQ(driver(), "P M1");
    EXPECT_EQ(deviceId(), "DEV1");
    LookupModel(m.ctx(), "M2", kSii);
    EXPECT_EQ(driver(), "P ");
    EXPECT_EQ(deviceId(), "DEV1");
  }
}

TEST_F(ModelLookup, GapsInTheListAreSkipped) {
  Sii("[Initial]\r\nProduct=P\r\n[ModelName]\r\nnModelNum=4\r\n"
      "Model1=A\r\nModel3=C\r\nModel4=D\r\n[DevID]\r\nD=DEV-D\r\n");
  LookupModel(m.ctx(), "D", kSii);
  EXPECT_EQ(driver(), "P D");
  EXPECT_EQ(deviceId(), "DEV-D");
}

TEST_F(ModelLookup, ProductIsCutTo19Characters) {
  Sii("[Initial]\r\nProduct=ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n"
      "[ModelName]\r\nnModelNum=1\r\nModel1=M\r\n");
  LookupModel(m.ctx(), "M", kSii);
  EXPECT_EQ(driver(), "ABCDEFGHIJKLMNOPQRS M");
}

// A driver name missing its product or its model is no driver's name: the
// lookup answers 0 (the names are still set as the lookup found them).
TEST_F(ModelLookup, AnswersZeroWhenProductOrModelIsEmptyOrNotFound) {
  struct Case {
    const char* what;
    const char* file;  // null: kSii with `text`
    const char* text;
    const char* model;
    int result;
    const char* driver;
    bool idKept;  // no model was found
  };
  const Case cases[] = {
      {"found", nullptr,
       "[Initial]\r\nProduct=P\r\n[ModelName]\r\nnModelNum=2\r\n"
       "Model1=A\r\nModel2=B\r\n",
       "b", 1, "P B", false},
      {"no file", "C:\\nowhere\\none.sii", "", "A", 0, " ", true},
      {"no product", nullptr,
       "[ModelName]\r\nnModelNum=2\r\nModel1=A\r\nModel2=B\r\n", "B", 0, " B",
       false},
      {"single model empty", nullptr,
       "[Initial]\r\nProduct=P\r\n[ModelName]\r\nnModelNum=1\r\nModel1=\r\n",
       "A", 0, "P ", false},
      {"not in the list", nullptr,
       "[Initial]\r\nProduct=P\r\n[ModelName]\r\nnModelNum=2\r\n"
       "Model1=A\r\nModel2=B\r\n",
       "C", 0, "P ", true},
      {"empty name matches an empty entry", nullptr,
       "[Initial]\r\nProduct=P\r\n[ModelName]\r\nnModelNum=2\r\n"
       "Model2=B\r\n",
       "", 0, "P ", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sii(c.text);
    std::strcpy(m.ctx().deviceId, "kept");
    m.os().SetLastError(test::kStaleError);
    EXPECT_EQ(LookupModel(m.ctx(), c.model, c.file ? c.file : kSii), c.result);
    EXPECT_EQ(driver(), c.driver);
    if (c.result == 0) {
      EXPECT_EQ(m.os().GetLastError(), DWORD{ERROR_INVALID_DATA});
    }
    if (c.idKept) {
      EXPECT_EQ(deviceId(), "kept");
    }
  }
}

TEST_F(ModelLookup, EmptyFileMatchesOnlyAnEmptyModelName) {
  Sii("");
  LookupModel(m.ctx(), "KV-100", kSii);
  EXPECT_EQ(driver(), " ");
}

// The driver name holds 127 characters: product (19) + space + model. A
// model name that would overrun it is cut, never written past the buffer.
TEST_F(ModelLookup, OverlongValuesAreCutAt127Characters) {
  const std::string product(19, 'P');
  for (size_t modelLen : {106u, 107u, 108u, 255u}) {
    SCOPED_TRACE(modelLen);
    const std::string model(modelLen, 'm');
    for (size_t idLen : {126u, 127u, 128u, 255u}) {
      const std::string id(idLen, 'i');
      Sii("[Initial]\r\nProduct=" + product +
          "\r\n[ModelName]\r\nnModelNum=1\r\nModel1=" + model +
          "\r\n[DevID]\r\n" + model + "=" + id + "\r\n");
      LookupModel(m.ctx(), "", kSii);
      const std::string full = product + " " + model;
      EXPECT_EQ(driver(), full.substr(0, 127));
      EXPECT_EQ(deviceId(), id.substr(0, 127));
      EXPECT_EQ(m.ctx().driverName[127], '\0');
      EXPECT_EQ(m.ctx().deviceId[127], '\0');
    }
  }
}

TEST_F(ModelLookup, HugeCountEndsWithoutMatch) {
  Sii("[Initial]\r\nProduct=P\r\n[ModelName]\r\nnModelNum=2000000000\r\n"
      "Model1=A\r\n");
  LookupModel(m.ctx(), "Z", kSii);
  EXPECT_EQ(driver(), "P ");
  EXPECT_LE(m.os().CountOperations("GetPrivateProfileStringA"), 4100u);
}

TEST(SetupRead, BufferSizeBoundsTheValue) {
  SimMachine m(sim::WindowsVersion::Win98);
  ASSERT_TRUE(m.os().WriteTextFile(kSii, "[Install]\r\nDATATYPE=RAWXYZ\r\n"));
  EXPECT_EQ(ReadSetupString(m.ctx(), kSii, "Install", "DATATYPE", 5), "RAWX");
  EXPECT_EQ(ReadSetupString(m.ctx(), kSii, "install", "datatype"), "RAWXYZ");
  EXPECT_EQ(ReadSetupString(m.ctx(), kSii, "Install", "Missing"), "");
  EXPECT_EQ(ReadSetupInt(m.ctx(), kSii, "Install", "Missing", -1), -1);
}

}  // namespace
}  // namespace kv
