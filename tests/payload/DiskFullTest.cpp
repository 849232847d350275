// Runs under a limit on the size of every file the process writes (file-size-limit.sh),
// so that copying a payload larger than the limit fails part-way, as on a full disk.
#include "payload/ExeImage.h"

#include "PayloadTest.h"

#include <cstdlib>

namespace {

class DiskFullTest : public SetupLogTest {
  protected:
    TempDir dir{L"full"};
};

TEST_F(DiskFullTest, APayloadThatCannotBeWrittenWholeLeavesNoFile) {
    ASSERT_NE(std::getenv("ORVANTA_FILE_SIZE_LIMIT"), nullptr) << "run through file-size-limit.sh";
    ExeImage image;
    // A payload below the limit is copied; the 3 MiB one stops after the second chunk.
    image.ExtractResource(135, dir / L"small.bin");
    EXPECT_EQ(ReadBytes(dir / L"small.bin"), TestPayload(135));
    EXPECT_EQ(ErrorText([&] { image.ExtractResource(200, dir / L"big.bin"); }), "WriteFile failed");
    EXPECT_FALSE(FileExists(dir / L"big.bin"));

    const std::string log = LogText();
    const std::string line = "ExeImage: WriteFile failed Error: ";
    const std::size_t at = log.find('\n') + 1;
    ASSERT_EQ(log.compare(at, line.size(), line), 0) << log;
    EXPECT_GT(std::strtoul(log.c_str() + at + line.size(), nullptr, 10), 0ul) << log;
    EXPECT_EQ(log.back(), '\n');
    EXPECT_EQ(log.find('\n', at), log.size() - 1) << log;
}

} // namespace
