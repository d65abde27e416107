// Failures an error box shows name what failed and carry the errno behind them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>

#include "engine/project_file.h"
#include "output/output_device.h"
#include "show/show_fixture.h"
#include "test_support.h"

namespace quor {
namespace {

class ErrorStructureTest : public test::ShowTest {
 protected:
  // The errors OpenOutputs announces for this one device.
  std::vector<Failure> OpenOne(int driver, const std::string& path) {
    OutputDevice device;
    device.driver = driver, device.channels = 24, device.driverParam = 115200;
    driver == kDriverTpm2 ? device.SetAddress(path) : device.SetPath(path);
    engine_.outputs().devices().Load({device});
    engine_.changes().Drain();
    EXPECT_FALSE(engine_.OpenOutputs());
    const ChangeBatch batch = engine_.changes().Drain();
    EXPECT_TRUE(batch.Has(Change::kOutputs) && batch.Has(Change::kErrors));
    return batch.errors;
  }
};

TEST_F(ErrorStructureTest, FailuresCarryTheSubjectTheErrnoAndAMessage) {
  const std::string dir = test::FreshTestDir("error_structure");
  const std::string plain = dir + "/plain";
  std::ofstream(plain) << "not a folder";
  struct Case {
    const char* what;
    std::string subject;
    int errorNumber;
    std::function<std::vector<Failure>()> fail;
  };
  const std::vector<Case> cases = {
      {"serial port that does not exist", "/dev/quor-none", ENOENT,
       [&] { return OpenOne(kDriverTpm2, "/dev/quor-none"); }},
      {"recorder file in a missing folder", dir + "/missing/rec.dat", ENOENT,
       [&] { return OpenOne(kDriverFileRecorder, dir + "/missing/rec.dat"); }},
      {"project saved under a plain file", plain + "/p.qrx", ENOTDIR,
       [&] {
         const ProjectFileResult saved = SaveProject(engine_, plain + "/p.qrx");
         EXPECT_EQ(saved.messages.at(0).rfind("Failed to save " + plain + "/p.qrx: ", 0), 0u) << saved.messages.at(0);
         return saved.errors;
       }},
      {"autosave kept under a plain file", plain + "/p.qrx", ENOTDIR,
       [&] { return SaveProjectKeepingBackup(engine_, plain + "/p.qrx").errors; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<Failure> errors = c.fail();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].subject, c.subject);
    EXPECT_EQ(errors[0].errorNumber, c.errorNumber);
    EXPECT_FALSE(errors[0].message.empty());
    // The box names the subject and gives the system's text exactly once.
    const std::string text = errors[0].DialogText(), system = std::strerror(c.errorNumber);
    EXPECT_TRUE(text.find(c.subject) != text.npos && text.find(system) != text.npos) << text;
    EXPECT_EQ(text.find(system), text.rfind(system)) << text;
  }
  EXPECT_EQ(LoadProject(engine_, plain + "/p.qrx").errorNumber, ENOTDIR);
}

}  // namespace
}  // namespace quor
