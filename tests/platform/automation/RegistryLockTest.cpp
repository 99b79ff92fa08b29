// The registry's write lock when flock fails: this test program puts its own flock in front of
// the C library's (the platform library calls it through the dynamic linker), failing the calls a
// row asks for and passing every other call on.

#include "platform/automation/Registry.h"
#include "tests/platform/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex gMutex;
std::vector<int> gFailures; // the errno of each coming call that fails, in order
int gCalls = 0;

} // namespace

extern "C" int flock(int fd, int operation)
{
    using Flock = int (*)(int, int);
    static const auto real = reinterpret_cast<Flock>(dlsym(RTLD_NEXT, "flock"));
    {
        std::lock_guard lock(gMutex);
        ++gCalls;
        if (!gFailures.empty()) {
            errno = gFailures.front();
            gFailures.erase(gFailures.begin());
            return -1;
        }
    }
    return real(fd, operation);
}

namespace orv::platform::automation {
namespace {

using test::ReadText;
using test::TempFolder;
using test::WriteText;

struct LockCase {
    const char* name;
    std::vector<int> failures;
    bool written;
};

void PrintTo(const LockCase& c, std::ostream* os) { *os << c.name; }

class RegistryLock : public ::testing::TestWithParam<LockCase> {
protected:
    void SetUp() override
    {
        WriteText(file_, std::string(RegistryDocument::kHeaderComment) + "\n[Kept]\n@=\"1\"\n");
        std::lock_guard lock(gMutex);
        gFailures = GetParam().failures;
        gCalls = 0;
    }
    void TearDown() override
    {
        std::lock_guard lock(gMutex);
        gFailures.clear();
    }

    TempFolder folder_;
    std::filesystem::path file_ = folder_ / "registry.ini";
    Registry registry_{file_};
};

TEST_P(RegistryLock, WritesOnlyUnderTheLock)
{
    const std::string before = ReadText(file_);
    std::string why;
    const bool written = registry_.Update([](RegistryDocument& document) { return document.SetValue("New", {}, "2"); },
                                          &why);
    EXPECT_EQ(written, GetParam().written) << why;
    {
        std::lock_guard lock(gMutex);
        EXPECT_EQ(gCalls, static_cast<int>(GetParam().failures.size()) + (GetParam().written ? 1 : 0))
            << "an interrupted flock is asked again, a refused one is not";
    }
    if (GetParam().written) {
        EXPECT_EQ(registry_.GetValue("New"), "2");
        EXPECT_EQ(registry_.GetValue("Kept"), "1");
        return;
    }
    EXPECT_EQ(ReadText(file_), before) << "not rewritten without the lock";
    EXPECT_EQ(why, "the class registry " + file_.string() + " cannot be locked for writing");
}

INSTANTIATE_TEST_SUITE_P(Flock, RegistryLock,
                         ::testing::Values(LockCase{"Granted", {}, true},
                                           LockCase{"InterruptedThenGranted", {EINTR, EINTR}, true},
                                           LockCase{"NoLocksLeft", {ENOLCK}, false},
                                           LockCase{"InterruptedThenNoLocksLeft", {EINTR, ENOLCK}, false},
                                           LockCase{"Invalid", {EINVAL}, false},
                                           LockCase{"WouldBlock", {EWOULDBLOCK}, false}),
                         [](const ::testing::TestParamInfo<LockCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace orv::platform::automation
