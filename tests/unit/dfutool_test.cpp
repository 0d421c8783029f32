// The dfutool host tool, run as a program on files in a temporary folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "package/update_format.h"
#include "testkit/update_file_maker.h"

namespace {

using norbix::testkit::makeUpdateFile;
using norbix::testkit::UpdateFileOptions;

struct Result {
  int exitCode;
  std::string out;
};

// Runs dfutool with `args` as given (no shell), capturing standard output.
Result dfutool(const std::vector<std::string>& args) {
  std::string tool = std::string(NORBIX_TOOLS_DIR) + "/dfutool";
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(tool.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {-1, ""};
  pid_t child = fork();
  if (child == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  std::string out;
  char buffer[4096];
  ssize_t got;
  while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
    out.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string hexOf(const std::uint8_t* bytes, std::size_t count) {
  std::string hex;
  char two[3];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(two, sizeof two, "%02x", bytes[i]);
    hex += two;
  }
  return hex;
}

class Dfutool : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/dfutool_test_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(0, std::system(command.c_str()));
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void put(const std::string& name, const std::string& bytes) {
    std::FILE* f = std::fopen(path(name).c_str(), "wb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(bytes.size(), std::fwrite(bytes.data(), 1, bytes.size(), f));
    ASSERT_EQ(0, std::fclose(f));
  }
  void put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    put(name, std::string(bytes.begin(), bytes.end()));
  }
  std::string get(const std::string& name) const {
    std::string bytes;
    std::FILE* f = std::fopen(path(name).c_str(), "rb");
    if (f == nullptr) return "<missing>";
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
      bytes.append(buffer, got);
    }
    std::fclose(f);
    return bytes;
  }
  bool exists(const std::string& name) const {
    struct stat st;
    return stat(path(name).c_str(), &st) == 0;
  }

  std::string dir_;
};

TEST_F(Dfutool, MakeThenCheckWithDefaults) {
  std::string file = path("UPDATE_KA.DFU");
  ASSERT_EQ(0, dfutool({"make", file}).exitCode);
  std::vector<std::uint8_t> expected = makeUpdateFile({});
  EXPECT_EQ(std::string(expected.begin(), expected.end()),
            get("UPDATE_KA.DFU"));
  Result r = dfutool({"check", file});
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(file + ": ok version=2.05 product=0x1101\n", r.out);
}

TEST_F(Dfutool, MakeHonoursEveryOption) {
  ASSERT_EQ(0, dfutool({"make", path("A.DFU"), "--version", "3.60",
                        "--marker-at", "0x2345", "--product", "2201",
                        "--vendor", "0x2e51", "--seed", "99", "--identity",
                        "0123456789ab", "--kind", "1"})
                   .exitCode);
  UpdateFileOptions options;
  options.versionText = "3.60";
  options.markerOffset = 0x2345;
  options.productId = 0x2201;
  options.vendorId = 0x2E51;
  options.seed = 99;
  options.identity = "0123456789AB";
  options.kindDigit = '1';
  std::vector<std::uint8_t> expected = makeUpdateFile(options);
  EXPECT_EQ(std::string(expected.begin(), expected.end()), get("A.DFU"));
  Result r = dfutool({"check", "--config", path("A.DFU")});
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(path("A.DFU") + ": ok version=3.60 product=0x2201\n" +
                path("A.DFU") + ": config " +
                hexOf(expected.data() + norbix::kConfigRegionOffset, 256) +
                "\n",
            r.out);
}

TEST_F(Dfutool, ConfigShowsTheDatFileMerge) {
  struct Case {
    const char* file;
    const char* dat;
  };
  const Case cases[] = {{"UPDATE_KA.DFU", "update_ka.dat"},
                        {"dfutool_ka.dfu", "DATTOOL_KA.DFU"},
                        {"Mixed_Dfu.Bin", "MIXED_DAT.BIN"}};
  std::vector<std::uint8_t> image = makeUpdateFile({});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    put(c.file, image);
    put(c.dat, std::string("4A\r\n0f\r\nzz\r\n10\r\n"));
    std::vector<std::uint8_t> region(image.begin() + 0xFE80,
                                     image.begin() + 0xFF80);
    region[0] = 0x4A;
    region[1] = 0x0F;
    Result r = dfutool({"check", "--config", path(c.file)});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ(path(c.file) + ": ok version=2.05 product=0x1101\n" +
                  path(c.file) + ": config " + hexOf(region.data(), 256) +
                  "\n",
              r.out);
  }
}

TEST_F(Dfutool, NoDatFileForANameWithoutDfu) {
  std::vector<std::uint8_t> image = makeUpdateFile({});
  put("FIRMWARE.BIN", image);
  put("FIRMWARE.DAT", std::string("11\r\n"));
  Result r = dfutool({"check", "--config", path("FIRMWARE.BIN")});
  EXPECT_EQ(0, r.exitCode);
  EXPECT_NE(std::string::npos,
            r.out.find(": config " + hexOf(image.data() + 0xFE80, 256)));
}

TEST_F(Dfutool, BadFilesAndTheirReasons) {
  std::vector<std::uint8_t> good = makeUpdateFile({});
  std::vector<std::uint8_t> shortFile(good.begin(), good.end() - 1);
  std::vector<std::uint8_t> longFile = good;
  longFile.push_back(0);
  std::vector<std::uint8_t> reversed = good;
  std::memcpy(reversed.data() + norbix::kSuffixSignatureOffset, "DFU", 3);
  norbix::testkit::resealUpdateFile(reversed);
  std::vector<std::uint8_t> flipped = good;
  flipped[norbix::kSuffixBcdDeviceOffset] ^= 1;
  put("good.dfu", good);
  put("short.dfu", shortFile);
  put("long.dfu", longFile);
  put("reversed.dfu", reversed);
  put("flipped.dfu", flipped);
  mkdir(path("folder.dfu").c_str(), 0755);
  Result r = dfutool({"check", path("good.dfu"), path("short.dfu"),
                      path("long.dfu"), path("reversed.dfu"),
                      path("flipped.dfu"), path("missing.dfu"),
                      path("folder.dfu")});
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ(path("good.dfu") + ": ok version=2.05 product=0x1101\n" +
                path("short.dfu") + ": bad length\n" + path("long.dfu") +
                ": bad length\n" + path("reversed.dfu") + ": bad markers\n" +
                path("flipped.dfu") + ": bad crc\n" + path("missing.dfu") +
                ": bad unreadable\n" + path("folder.dfu") +
                ": bad unreadable\n",
            r.out);
}

TEST_F(Dfutool, VersionTextIsEscapedOrUnknown) {
  struct Case {
    std::vector<std::string> options;
    const char* version;
  };
  const Case cases[] = {
      {{"--no-version"}, "unknown"},
      {{"--marker-at", "0xFE60"}, "unknown"},
      {{"--marker-at", "0xFE5F", "--version", "1.43"}, "1.43"},
      {{"--version", "2.0A"}, "2.0A"},
      {{"--version", "\"\\\t\x01"}, "\\\"\\\\\\t\\x01"},
      {{"--version", "\r\n\x1F\x7F"}, "\\r\\n\\x1F\x7F"},
      {{"--version", "\x80\xC1\xFF."}, "\\x80\\xC1\\xFF."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    std::vector<std::string> args = {"make", path("V.DFU")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(0, dfutool(args).exitCode);
    Result r = dfutool({"check", path("V.DFU")});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ(path("V.DFU") + ": ok version=" + c.version +
                  " product=0x1101\n",
              r.out);
  }
}

TEST_F(Dfutool, UsageErrors) {
  const std::string out = path("OUT.DFU");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"check"},
      {"check", "--config"},
      {"check", "--bogus", out},
      {"make"},
      {"make", "--seed", "1"},
      {"make", out, "--bogus"},
      {"make", out, "--version"},
      {"make", out, "--version", "2.0"},
      {"make", out, "--version", "2.050"},
      {"make", out, "--version", "2.05", "--no-version"},
      {"make", out, "--marker-at", "0xFE6D"},
      {"make", out, "--marker-at", "70000"},
      {"make", out, "--marker-at", "abc"},
      {"make", out, "--marker-at", "-1"},
      {"make", out, "--marker-at", ""},
      {"make", out, "--product", "12345"},
      {"make", out, "--product", "xyz"},
      {"make", out, "--product", "0x"},
      {"make", out, "--vendor", "-1"},
      {"make", out, "--seed", "4294967296"},
      {"make", out, "--seed", "1x"},
      {"make", out, "--identity", "00000000001"},
      {"make", out, "--identity", "0000000000001"},
      {"make", out, "--identity", "00000000000G"},
      {"make", out, "--kind", "2"},
      {"make", out, "--kind", "01"},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string joined;
    for (const std::string& a : args) joined += a + " ";
    SCOPED_TRACE(joined);
    EXPECT_EQ(2, dfutool(args).exitCode);
    EXPECT_FALSE(exists("OUT.DFU"));
  }
  EXPECT_EQ(0, dfutool({"make", out, "--marker-at", "0xFE6C"}).exitCode);
}

TEST_F(Dfutool, MakeIntoAMissingFolderFails) {
  EXPECT_EQ(1, dfutool({"make", path("no/such/X.DFU")}).exitCode);
}

}  // namespace
