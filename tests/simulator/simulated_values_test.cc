#include "simulator/simulated_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace q7k {
namespace {

uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST(SimulatedValuesTest, ThermalValuesShareOneNoiseOffset) {
  Q7K_THERMAL_DATA thermal{};
  thermal.HeatingStatus = 3;
  thermal.OvertempVal = 99.0f;
  SimulatedThermalData(/*fast=*/true, thermal);
  EXPECT_FLOAT_EQ(thermal.ExtTemperature, 28.5f);
  EXPECT_FLOAT_EQ(thermal.ExtHumidity, 63.0f);
  EXPECT_FLOAT_EQ(thermal.XfmrCurrent, 55.7f);
  EXPECT_FLOAT_EQ(thermal.CalRefTemp, 49.8f);
  EXPECT_EQ(thermal.ExtSensorInserted, 1);
  EXPECT_EQ(thermal.HeatingStatus, 3);  // not reported: left alone
  EXPECT_EQ(thermal.OvertempVal, 99.0f);

  for (int i = 0; i < 50; ++i) {
    SimulatedThermalData(/*fast=*/false, thermal);
    const double n = thermal.ExtTemperature - 28.5;
    ASSERT_LE(std::fabs(n), 0.7 + 1e-6);
    ASSERT_NEAR(thermal.CalRefTemp - 49.8, n, 1e-5);
  }
}

TEST(SimulatedValuesTest, CalibrationInfoAndReferenceBitPatterns) {
  int16_t done[kCalBlocks] = {};
  char dates[kCalBlocks][kCalDateSlot];
  std::memset(dates, 'x', sizeof dates);
  StoreSimulatedCalInfo(done, dates);
  for (int block = 0; block < kCalBlocks; ++block) {
    EXPECT_EQ(done[block], 1);
    EXPECT_STREQ(dates[block], "09/02/97");
    EXPECT_EQ(dates[block][kCalDateSlot - 1], '\0');
  }

  float resistor[kRefChannels];
  float pole[kRefChannels];
  std::memset(pole, 0xFF, sizeof pole);
  StoreSimulatedReferenceValues(resistor, pole);
  EXPECT_EQ(Bits(resistor[MAIN_RES]), 0x4992AC1Fu);
  EXPECT_EQ(Bits(resistor[RED_RES]), 0x476987CDu);
  EXPECT_EQ(Bits(resistor[MRED_RES]), 0x49ABB9FEu);
  EXPECT_EQ(Bits(resistor[BLUE_RES]), 0x4478906Au);
  EXPECT_EQ(Bits(resistor[NBLUE_RES]), 0x459C120Du);
  EXPECT_EQ(Bits(pole[MAIN_RES]), 0xC78958AFu);
  EXPECT_EQ(Bits(pole[NBLUE_RES]), 0u);
}

}  // namespace
}  // namespace q7k
