// IPluginBase channel configuration, buffer attachment and block processing.
#include <gtest/gtest.h>

#include <vector>

#include "TestPlug.h"

TEST(ChannelConfig, InstrumentStringGivesNoInputsAndTwoOutputs) {
  TestPlug plug(0, "0-1 0-2");
  EXPECT_EQ(plug.NInChannels(), 0);
  EXPECT_EQ(plug.NOutChannels(), 2);
  ASSERT_EQ(plug.NChannelIO(), 2);
  EXPECT_EQ(plug.GetChannelIO(1)->mOut, 2);
  EXPECT_TRUE(plug.LegalIO(0, 2));
  EXPECT_TRUE(plug.LegalIO(0, 1));
  EXPECT_TRUE(plug.LegalIO(-1, 2));
  EXPECT_TRUE(plug.LegalIO(0, -1));
  EXPECT_TRUE(plug.LegalIO(-1, -1));
  EXPECT_FALSE(plug.LegalIO(1, 2));
  EXPECT_FALSE(plug.LegalIO(0, 3));
  EXPECT_FALSE(plug.LegalIO(-1, 3));
}

TEST(ChannelConfig, PairsTakeTheLargestCounts) {
  TestPlug plug(0, "1-1 2-2");
  EXPECT_EQ(plug.NInChannels(), 2);
  EXPECT_EQ(plug.NOutChannels(), 2);
  EXPECT_TRUE(plug.LegalIO(1, 1));
  EXPECT_FALSE(plug.LegalIO(1, 2));

  TestPlug wide(0, "2-1 1-4");
  EXPECT_EQ(wide.NInChannels(), 2);
  EXPECT_EQ(wide.NOutChannels(), 4);
}

TEST(ChannelConfigDeathTest, MalformedStringStopsWithItsCondition) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(TestPlug(0, "stereo"), "channelIOStrValid");
  EXPECT_DEATH(TestPlug(0, "0-1 x"), "channelIOStrValid");
  EXPECT_DEATH(TestPlug(0, ""), "channelIOStrValid");
  EXPECT_DEATH(TestPlug(0, nullptr), "channelIOStrValid");
}

TEST(ChannelConnections, OutOfRangeChannelsReadAsUnconnected) {
  TestPlug plug(0, "0-2");
  plug.SetOutputChannelConnections(0, 5, true);  // clipped to the two channels
  EXPECT_TRUE(plug.IsOutChannelConnected(0));
  EXPECT_TRUE(plug.IsOutChannelConnected(1));
  EXPECT_FALSE(plug.IsOutChannelConnected(2));
  EXPECT_FALSE(plug.IsOutChannelConnected(-1));
  EXPECT_FALSE(plug.IsInChannelConnected(0));
  plug.SetOutputChannelConnections(1, 1, false);
  EXPECT_TRUE(plug.IsOutChannelConnected(0));
  EXPECT_FALSE(plug.IsOutChannelConnected(1));
}

TEST(ChannelBuffers, ConnectedOutputTakesTheOnlyHostBuffer) {
  TestPlug plug(0, "0-1 0-2");
  plug.SetBlockSize(8);
  plug.SetOutputChannelConnections(0, 1, true);
  plug.SetOutputChannelConnections(1, 1, false);
  std::vector<float> host0(8, -1.0f), host1(8, -1.0f);
  float* buffers[] = {host0.data(), host1.data()};
  plug.AttachOutputBuffers(0, 2, buffers);
  plug.ProcessBuffers(0.0f, 8);
  for (int s = 0; s < 8; ++s) {
    EXPECT_EQ(host0[s], static_cast<float>(1 + s / 1000.0));  // channel 0's signal
    EXPECT_EQ(host1[s], -1.0f);                               // never handed out
  }
  // The unconnected channel wrote into its own scratch memory.
  EXPECT_EQ(plug.OutData(1), plug.OutScratch(1).data());
  EXPECT_EQ(plug.OutScratch(1)[3], 2.003);
}

TEST(ChannelBuffers, UnconnectedFirstChannelSkipsToTheNext) {
  TestPlug plug(0, "0-2");
  plug.SetBlockSize(4);
  plug.SetOutputChannelConnections(0, 1, false);
  plug.SetOutputChannelConnections(1, 1, true);
  std::vector<float> host(4, 0.0f);
  float* buffers[] = {host.data()};
  plug.AttachOutputBuffers(0, 2, buffers);
  plug.ProcessBuffers(0.0f, 4);
  EXPECT_EQ(host[0], 2.0f);  // channel 1's signal
}

TEST(ChannelBuffers, FloatInputConvertsAndPassesThrough) {
  TestPlug plug(0, "1-1");
  plug.SetBlockSize(5);
  plug.SetInputChannelConnections(0, 1, true);
  plug.SetOutputChannelConnections(0, 1, true);
  std::vector<float> in = {0.5f, -0.25f, 1e-8f, 3.0f, -1.0f};
  std::vector<float> out(5, 9.0f);
  float* ins[] = {in.data()};
  float* outs[] = {out.data()};
  plug.AttachInputBuffers(0, 1, ins, 5);
  plug.AttachOutputBuffers(0, 1, outs);
  // The input was converted into the plug-in's own double memory.
  EXPECT_NE(plug.InData(0), nullptr);
  EXPECT_EQ(plug.InData(0)[1], -0.25);
  // Pass-through uses the base's copy although TestPlug overrides processing.
  plug.PassThroughBuffers(0.0f, 5);
  EXPECT_EQ(out, in);
}

TEST(ChannelBuffers, DoubleBuffersAreUsedInPlace) {
  TestPlug plug(0, "1-1");
  plug.SetInputChannelConnections(0, 1, true);
  plug.SetOutputChannelConnections(0, 1, true);
  std::vector<double> in = {1.5, 2.5, 3.5}, out(3, 0.0);
  double* ins[] = {in.data()};
  double* outs[] = {out.data()};
  plug.AttachInputBuffers(0, 1, ins, 3);
  plug.AttachOutputBuffers(0, 1, outs);
  EXPECT_EQ(plug.InData(0), in.data());
  EXPECT_EQ(plug.OutData(0), out.data());
  plug.PassThroughBuffers(0.0, 3);
  EXPECT_EQ(out, in);
  plug.ProcessBuffers(0.0, 3);
  EXPECT_EQ(out[2], 1.002);
}

TEST(ChannelBuffers, AccumulatingAddsToTheHostBuffer) {
  TestPlug plug(0, "0-1");
  plug.SetBlockSize(4);
  plug.SetOutputChannelConnections(0, 1, true);
  std::vector<float> out(4, 0.5f);
  float* outs[] = {out.data()};
  plug.AttachOutputBuffers(0, 1, outs);
  plug.ProcessBuffersAccumulating(0.0f, 4);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(out[s], 0.5f + static_cast<float>(1 + s / 1000.0));
  plug.ProcessBuffers(0.0f, 4);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(out[s], static_cast<float>(1 + s / 1000.0));
}

TEST(ChannelBuffers, BaseProcessingZeroesOutputsWithoutInputs) {
  TestPlug plug(0, "0-1 0-2");
  std::vector<double> a(6, 7.0), b(6, 7.0);
  double* outs[] = {a.data(), b.data()};
  plug.IPluginBase::ProcessDoubleReplacing(nullptr, outs, 6);
  EXPECT_EQ(a, std::vector<double>(6, 0.0));
  EXPECT_EQ(b, std::vector<double>(6, 0.0));
}

TEST(ChannelBuffers, BaseProcessingCopiesMatchingChannelsAndZeroesTheRest) {
  TestPlug plug(0, "1-2");
  std::vector<double> in = {1, 2, 3}, a(3, 7.0), b(3, 7.0);
  double* ins[] = {in.data()};
  double* outs[] = {a.data(), b.data()};
  plug.IPluginBase::ProcessDoubleReplacing(ins, outs, 3);
  EXPECT_EQ(a, in);
  EXPECT_EQ(b, std::vector<double>(3, 0.0));
}

TEST(ChannelBlockSize, SameSizeLeavesBuffersAlone) {
  TestPlug plug(0, "0-2");
  plug.SetBlockSize(16);
  plug.SetOutputChannelConnections(0, 2, false);
  double* before = plug.OutScratch(0).data();
  plug.OutScratch(0)[5] = 0.75;
  plug.SetBlockSize(16);
  EXPECT_EQ(plug.OutScratch(0).data(), before);
  EXPECT_EQ(plug.OutScratch(0)[5], 0.75);
  EXPECT_EQ(plug.GetBlockSize(), 16);
}

TEST(ChannelBlockSize, ScratchSlotsFollowAResize) {
  TestPlug plug(0, "1-2");
  plug.SetBlockSize(4);
  plug.SetInputChannelConnections(0, 1, false);
  plug.SetOutputChannelConnections(0, 2, false);
  plug.SetBlockSize(4096);
  EXPECT_EQ(plug.GetBlockSize(), 4096);
  EXPECT_EQ(plug.OutScratch(0).size(), 4096u);
  // Slots must point at the resized memory, or this render writes into freed memory.
  EXPECT_EQ(plug.OutData(0), plug.OutScratch(0).data());
  EXPECT_EQ(plug.OutData(1), plug.OutScratch(1).data());
  plug.ProcessBuffers(0.0, 4096);
  EXPECT_EQ(plug.OutScratch(1)[4095], 2 + 4095 / 1000.0);
  plug.ZeroScratchBuffers();
  EXPECT_EQ(plug.OutScratch(1)[4095], 0.0);
}

TEST(ChannelBlockSize, RenderLongerThanABlockStaysInsideScratchMemory) {
  TestPlug plug(0, "0-1");
  plug.SetBlockSize(32);
  plug.SetOutputChannelConnections(0, 1, true);
  std::vector<float> out(64, -1.0f);
  float* outs[] = {out.data()};
  plug.AttachOutputBuffers(0, 1, outs);
  plug.ProcessBuffers(0.0f, 64);  // more than the scratch buffer holds
  EXPECT_EQ(out[31], static_cast<float>(1.031));
  EXPECT_EQ(out[32], -1.0f);  // the rest of the host buffer is left alone
}

TEST(ChannelBlockSize, NothingIsProcessedBeforeChannelsHaveMemory) {
  TestPlug plug(0, "0-2");
  // No block size and no buffers yet: processing must not write through null slots.
  plug.ProcessBuffers(0.0f, 64);
  plug.ProcessBuffers(0.0, 64);
  plug.PassThroughBuffers(0.0f, 64);
  EXPECT_EQ(plug.OutData(0), nullptr);
  plug.SetBlockSize(8);  // now every unattached channel has its scratch buffer
  plug.ProcessBuffers(0.0, 8);
  EXPECT_EQ(plug.OutScratch(1)[7], 2.007);
}

TEST(ChannelLabels, ChannelAndBusLabels) {
  TestPlug plug(0, "1-2");
  plug.SetOutputLabel(1, "right");
  plug.SetOutputLabel(2, "ignored");
  plug.SetInputLabel(-1, "ignored");
  EXPECT_STREQ(plug.GetOutputLabel(1), "right");
  EXPECT_STREQ(plug.GetOutputLabel(2), "");

  plug.SetInputBusLabel(2, "third");  // two input buses at most
  EXPECT_EQ(plug.GetInputBusLabel(0), nullptr);
  plug.SetInputBusLabel(0, "main in");
  ASSERT_NE(plug.GetInputBusLabel(0), nullptr);
  EXPECT_EQ(*plug.GetInputBusLabel(0), "main in");

  plug.SetOutputBusLabel(0, "main");
  plug.SetOutputBusLabel(2, "aux");  // accepted; stored at the end of the shorter list
  ASSERT_NE(plug.GetOutputBusLabel(1), nullptr);
  EXPECT_EQ(*plug.GetOutputBusLabel(1), "aux");
  EXPECT_EQ(plug.GetOutputBusLabel(2), nullptr);
  plug.SetOutputBusLabel(0, "renamed");
  EXPECT_EQ(*plug.GetOutputBusLabel(0), "renamed");
  plug.SetOutputBusLabel(-1, "ignored");
  EXPECT_EQ(plug.GetOutputBusLabel(-1), nullptr);
}
