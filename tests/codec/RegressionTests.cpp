// Inputs the fuzzers found, kept under tests/codec/inputs/: each must fail
// for the reason given here, and every file in that folder must go through
// every reader without crashing.

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;

const std::filesystem::path kInputs = std::filesystem::path(SHOWSAVER_SOURCE_DIR) / "tests/codec/inputs";

struct Regression {
    const char* file;
    testing::Reader reader;
    ErrorCode code;
    const char* why; // part of LastErrorDetail
};
void PrintTo(const Regression& regression, std::ostream* out) { *out << regression.file; }

class CodecRegression : public ::testing::TestWithParam<Regression> {};

TEST_P(CodecRegression, FailsForTheRightReason) {
    const auto& regression = GetParam();
    const Bytes bytes = testing::ReadBytes(kInputs / regression.file);
    ASSERT_FALSE(bytes.empty()) << regression.file;
    EXPECT_FALSE(testing::ReadMemory(regression.reader, bytes));
    EXPECT_EQ(LastError(), static_cast<int>(regression.code));
    EXPECT_NE(LastErrorDetail().find(regression.why), std::string_view::npos) << LastErrorDetail();
}

// A tEXt chunk announcing 1.9 GB in a 174-byte file: libpng allocated the
// chunk's buffer before reading it, so we refuse such files first.
INSTANTIATE_TEST_SUITE_P(Fuzzed, CodecRegression,
                         ::testing::Values(Regression{"png-text-chunk-claims-2gb.png", ReadPng, ErrorCode::BadPng,
                                                      "chunk runs past the end"}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(CodecRegression, EveryKeptInputGoesThroughEveryReader) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kInputs)) {
        const Bytes bytes = testing::ReadBytes(entry.path());
        for (testing::Reader reader : {ReadBmp, ReadJpeg, ReadPng, ReadPcx, ReadTga}) {
            auto image = testing::ReadMemory(reader, bytes);
            if (image)
                EXPECT_EQ(image->SizeBytes(), size_t(image->Width()) * size_t(image->Height()) * 3) << entry.path();
            else
                EXPECT_NE(ErrorText(LastError()), "Unknown error") << entry.path();
        }
        ++files;
    }
    EXPECT_GT(files, 0);
}

} // namespace
} // namespace showsaver::codec
