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

TEST(SimulatedValuesTest, ThermalValuesWithoutNoiseWhenFast) {
  Q7K_THERMAL_DATA thermal{};
  thermal.HeatingStatus = 3;
  thermal.OvertempVal = 99.0f;
  thermal.AmpInputCurrent = 1.25f;
  SimulatedThermalData(/*fast=*/true, thermal);
  EXPECT_FLOAT_EQ(thermal.ExtTemperature, 28.5f);
  EXPECT_FLOAT_EQ(thermal.ExtHumidity, 63.0f);
  EXPECT_FLOAT_EQ(thermal.EstXfmrTemp, 45.0f);
  EXPECT_FLOAT_EQ(thermal.CardCageTemp, 36.5f);
  EXPECT_FLOAT_EQ(thermal.XfmrCurrent, 55.7f);
  EXPECT_FLOAT_EQ(thermal.AmplifierTemp, 57.3f);
  EXPECT_FLOAT_EQ(thermal.MainRefTemp, 48.2f);
  EXPECT_FLOAT_EQ(thermal.CalRefTemp, 49.8f);
  EXPECT_EQ(thermal.ExtSensorInserted, 1);
  EXPECT_EQ(thermal.HeatingStatus, 3);
  EXPECT_EQ(thermal.OvertempVal, 99.0f);
  EXPECT_EQ(thermal.AmpInputCurrent, 1.25f);
}

TEST(SimulatedValuesTest, ThermalNoiseIsOneCommonOffset) {
  for (int i = 0; i < 50; ++i) {
    Q7K_THERMAL_DATA thermal{};
    SimulatedThermalData(/*fast=*/false, thermal);
    const double n = thermal.ExtTemperature - 28.5;
    ASSERT_LE(std::fabs(n), 0.7 + 1e-6);
    ASSERT_NEAR(thermal.ExtHumidity - 63.0, n, 1e-5);
    ASSERT_NEAR(thermal.CalRefTemp - 49.8, n, 1e-5);
  }
}

TEST(SimulatedValuesTest, CalibrationInfo) {
  int16_t done[kCalBlocks] = {};
  char dates[kCalBlocks][kCalDateSlot];
  std::memset(dates, 'x', sizeof dates);
  StoreSimulatedCalInfo(done, dates);
  for (int block = 0; block < kCalBlocks; ++block) {
    EXPECT_EQ(done[block], 1);
    EXPECT_STREQ(dates[block], "09/02/97");
    EXPECT_EQ(dates[block][kCalDateSlot - 1], '\0');
  }
}

TEST(SimulatedValuesTest, ReferenceValuesHaveTheStoredBitPatterns) {
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
  for (int channel = RED_RES; channel <= NBLUE_RES; ++channel) {
    EXPECT_EQ(Bits(pole[channel]), 0u);
  }
}

}  // namespace
}  // namespace q7k
