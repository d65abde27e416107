// Waiting for a descriptor or an interrupt: what ends a wait, on a real pipe and a pseudo-terminal, and an interrupt
// from another thread ending a wait without a time limit.
#include "platform/interruptible_wait.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace quor {
namespace {

using Clock = std::chrono::steady_clock;

TEST(InterruptibleWait, EndsForDataHangUpInterruptOrTime) {
  Result<std::unique_ptr<InterruptibleWait>> made = InterruptibleWait::Create();
  ASSERT_TRUE(made.ok());
  InterruptibleWait& wait = **made;
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  const int reader = pipeEnds[0], writer = pipeEnds[1];

  EXPECT_EQ(wait.Wait(reader, 0), WaitResult::kTimedOut) << "nothing to read";
  const auto started = Clock::now();
  EXPECT_EQ(wait.Wait(reader, 30), WaitResult::kTimedOut);
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(30)) << "the whole time is waited";
  ASSERT_EQ(::write(writer, "x", 1), 1);
  EXPECT_EQ(wait.Wait(reader, kWaitForever), WaitResult::kReadable);
  wait.Interrupt(), wait.Interrupt();
  EXPECT_EQ(wait.Wait(reader, kWaitForever), WaitResult::kInterrupted) << "an interrupt goes before data";
  EXPECT_EQ(wait.Wait(-1, 0), WaitResult::kTimedOut) << "interrupts before a wait count as one";
  ::close(writer);
  EXPECT_EQ(wait.Wait(reader, kWaitForever), WaitResult::kHangUp) << "the writer went away";
  ::close(reader);

  int controller = -1, terminal = -1;
  ASSERT_EQ(::openpty(&controller, &terminal, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(wait.Wait(terminal, 0), WaitResult::kTimedOut);
  ::close(controller);  // a pulled adapter
  EXPECT_EQ(wait.Wait(terminal, kWaitForever), WaitResult::kHangUp);
  ::close(terminal);

  // Without a descriptor and a time limit only another thread ends the wait.
  std::thread other([&wait] {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    wait.Interrupt();
  });
  EXPECT_EQ(wait.Wait(-1, kWaitForever), WaitResult::kInterrupted);
  other.join();
}

}  // namespace
}  // namespace quor
