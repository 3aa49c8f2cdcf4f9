// End-to-end runs of the built qvpics-cli against the local test shop: the
// program is started as a child process with QVPICS_CONNECT_TO leading every
// shop host to the shop, and judged by its exit status, its output, the
// files it left and the time it took.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/workflow/download_workflow.h"
#include "app/workflow/workflow_test_support.h"
#include "fileio/test_folder.h"
#include "tools/testshop/test_shop.h"
#include "web/shop_log.h"

extern char** environ;

namespace qv {
namespace {

using testing::MakeFolders;
using testing::ParseShopLog;
using testing::PictureBytes;
using testing::Route;
using testing::Routes;
using testing::TempFolder;
using testing::TestShop;
using testing::TreeOnDisk;
using Tree = std::map<std::string, std::string>;
using Clock = std::chrono::steady_clock;

constexpr char kItemHost[] = "item.quorvel.example";
constexpr char kImgHost[] = "img.quorvel.example";
constexpr char kDescHost[] = "d.quorvel.example";
constexpr char kCdnHost[] = "cdn.quorvel.example";
constexpr char kDescField[] = "//d.quorvel.example/desc/1.html";
constexpr char kDescPath[] = "/desc/1.html";
// The longest a run without a time-out may take, sanitizer builds included.
constexpr double kQuickRunSeconds = 10.0;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// QVPICS_CONNECT_TO for a shop: every shop host on 80 and 443 goes to it.
std::string ConnectTo(const TestShop& shop) {
  const std::string http = "127.0.0.1:" + std::to_string(shop.HttpPort());
  const std::string https = "127.0.0.1:" + std::to_string(shop.HttpsPort());
  std::string out;
  for (const char* host : {kItemHost, kImgHost, kDescHost, kCdnHost}) {
    out += std::string(host) + ":443:" + https + "," + host + ":80:" + http + ",";
  }
  return out + ":443:" + https + ",:80:" + http;
}

// The environment of the child: ours without proxy settings, plus the
// connection override.
std::vector<std::string> ChildEnvironment(const std::string& connectTo) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    std::string lower;
    for (const char c : name)
      lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.ends_with("_proxy") || name == "QVPICS_CONNECT_TO") continue;
    env.push_back(entry);
  }
  env.push_back("QVPICS_CONNECT_TO=" + connectTo);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

struct CliRun {
  int exitCode = -1;    // -1 when the program did not exit normally
  int signal = 0;       // the signal that ended it
  bool killed = false;  // it outlived the test's limit and was killed
  std::string out, err;
  double seconds = 0;  // from start to exit
};

// qvpics-cli running with its standard output and error on pipes.
class CliProcess {
 public:
  CliProcess(std::vector<std::string> args, const std::string& cwd, const std::string& connectTo) {
    args.insert(args.begin(), QV_CLI_PATH);
    std::vector<std::string> env = ChildEnvironment(connectTo);
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "pipe: " << std::strerror(errno);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    start_ = Clock::now();
    const int spawned = posix_spawn(&pid_, QV_CLI_PATH, &actions, nullptr, Pointers(args).data(),
                                    Pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
    if (spawned != 0) {
      pid_ = -1;
      ADD_FAILURE() << "cannot start " << QV_CLI_PATH << ": " << std::strerror(spawned);
    }
  }
  ~CliProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Collects the output until the program ends, killing it after
  // limitSeconds from its start.
  CliRun Wait(double limitSeconds = 60) {
    CliRun run;
    if (pid_ <= 0) return run;
    const Clock::time_point deadline =
        start_ + std::chrono::milliseconds(static_cast<int>(limitSeconds * 1000));
    while (outFd_ >= 0 || errFd_ >= 0) {
      pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        ::kill(pid_, SIGKILL);
        run.killed = true;
        break;
      }
      if (::poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR) break;
      for (int i = 0; i < 2; ++i) {
        int& fd = i == 0 ? outFd_ : errFd_;
        if (fd < 0 || fds[i].revents == 0) continue;
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
          (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
          ::close(fd);
          fd = -1;
        }
      }
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    run.seconds = SecondsSince(start_);
    pid_ = -1;
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    return run;
  }

 private:
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  Clock::time_point start_;
};

// The test program's shop, started on first use.
TestShop& Shop() {
  static TestShop* shop = new TestShop();
  return *shop;
}

// A product page as the shop sends it (UTF-8); list is the list part. An
// empty desc leaves the desc field out.
std::string Page(const std::string& name, const std::string& desc, const std::string& list) {
  std::string page =
      "<html><script>\nvar pageConfig = {\n product: {\n  skuid: 1,\n  name: '" + name + "',\n";
  if (!desc.empty()) page += "  desc: '" + desc + "',\n";
  return page + "  " + list + ",\n  cat: [1,2]\n }\n};\n</script></html>";
}

// The workflow's completion message. pageAddress is named when the page
// could not be had.
std::string Summary(const std::string& folder, int mainSaved, int mainFailed, int descSaved,
                    int descFailed, const std::string& failedPage = "") {
  std::string text = "下载完成！\n";
  if (!failedPage.empty()) text += "无法获取商品页面：" + failedPage + "\n";
  return text + "主图：已保存 " + std::to_string(mainSaved) + " 张，失败 " +
         std::to_string(mainFailed) + " 张\n详情图：已保存 " + std::to_string(descSaved) +
         " 张，失败 " + std::to_string(descFailed) + " 张\n保存位置：" + folder;
}

// What the program prints for one product of count when its output is no
// terminal.
std::string ProductOutput(int index, int count, const std::string& address,
                          const std::string& summary) {
  return (index > 1 ? "\n[" : "[") + std::to_string(index) + "/" + std::to_string(count) + "] " +
         address + "\n" + summary + "\n";
}

// files with every folder above each of them, as TreeOnDisk lists them.
Tree WithFolders(const Tree& files, const std::vector<std::string>& moreFolders = {}) {
  Tree out = files;
  for (const auto& [path, bytes] : files) {
    for (size_t at = path.find('/'); at != std::string::npos; at = path.find('/', at + 1)) {
      out[path.substr(0, at + 1)] = "<dir>";
    }
  }
  for (const std::string& f : moreFolders) out[f] = "<dir>";
  return out;
}

class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override { Fresh(); }

  // A new shop state and a new folder: root/cwd is the child's current
  // folder, root/out the output folder. Everything the child writes must
  // land under root/out/imgs/.
  void Fresh() {
    Shop().Reset();
    root_ = std::make_unique<TempFolder>();
    ASSERT_TRUE(root_->ok());
    ASSERT_TRUE(MakeFolders(Cwd()));
    ASSERT_TRUE(MakeFolders(Out()));
  }

  std::string Cwd() const { return root_->Native("cwd"); }
  std::string Out() const { return root_->Native("out"); }
  // The product folder as the summary names it.
  std::string Folder(const std::string& name) const { return Out() + "/imgs/" + name; }

  CliRun Run(const std::vector<std::string>& args, double limitSeconds = 60) {
    CliProcess child(args, Cwd(), ConnectTo(Shop()));
    return child.Wait(limitSeconds);
  }
  // Runs with -o root/out.
  CliRun RunInto(std::vector<std::string> addresses) {
    addresses.insert(addresses.begin(), {"-o", Out()});
    return Run(addresses);
  }

  // Everything under root, relative to it. Starts with "cwd/" and "out/".
  Tree OnDisk() const { return TreeOnDisk(root_->native()); }
  // What OnDisk must be when the program wrote files (relative to root/out)
  // and nothing else.
  static Tree Expected(const Tree& outFiles, const std::vector<std::string>& outFolders = {}) {
    Tree files;
    for (const auto& [path, bytes] : outFiles) files["out/" + path] = bytes;
    std::vector<std::string> folders = {"cwd/", "out/"};
    for (const std::string& f : outFolders) folders.push_back("out/" + f);
    return WithFolders(files, folders);
  }

  static void AddRoutes(const std::vector<std::string>& routes) {
    Shop().AddRoutes(Routes(routes));
  }
  // host + path of every request the shop got, in order.
  static std::vector<std::string> Requests() {
    std::vector<std::string> out;
    for (const auto& r : ParseShopLog(Shop().Log())) out.push_back(r.host + r.path);
    return out;
  }

  std::unique_ptr<TempFolder> root_;
};

TEST_F(E2eTest, SavesAWholeProductOverHttpAndHttps) {
  struct Row {
    const char* name;
    std::string address;  // of the product page
    std::string list;
  };
  const Row rows[] = {
      {"imageList form, page over https", "https://item.quorvel.example/1.html",
       R"(imageList: ["jfs/t1/a.jpg","jfs/t2/b.jpg"])"},
      {"overAllPath form beside imageList, page over http", "http://item.quorvel.example/1.html",
       R"(imageList: ["i/x.jpg"], src: {"overAllPath":["jfs/t1/a.jpg","jfs/t2/b.jpg"]})"},
  };
  const std::string a = PictureBytes(1, 30000), b = PictureBytes(2, 7);
  const std::string c = PictureBytes(3, 4096), d = PictureBytes(4, 1), e = PictureBytes(5, 900);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fresh();
    AddRoutes({
        Route(kItemHost, "/1.html", Page("Tea Cup 茶杯", kDescField, row.list)),
        Route(kImgHost, "/n12/jfs/t1/a.jpg", a),
        Route(kImgHost, "/n12/jfs/t2/b.jpg", b),
        Route(kImgHost, "/n12/i/x.jpg", "not this one"),
        Route(kDescHost, kDescPath,
              "<div style=\\\"background:url(//cdn.quorvel.example/d/c.jpg)\\\"></div>\n"
              "<img data-lazyload=\\\"https://img.quorvel.example/d/d.png\\\">"
              "<img data-lazyload=\\\"//cdn.quorvel.example/d/e.gif\\\">"),
        Route(kCdnHost, "/d/c.jpg", c),
        Route(kImgHost, "/d/d.png", d),
        Route(kCdnHost, "/d/e.gif", e),
    });

    const CliRun run = RunInto({row.address});

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // Plain lines on a pipe: the product, then the summary.
    EXPECT_EQ(run.out, ProductOutput(1, 1, row.address, Summary(Folder("TeaCup茶杯"), 2, 0, 3, 0)));
    EXPECT_EQ(OnDisk(), Expected({{"imgs/TeaCup茶杯/主图/a.jpg", a},
                                  {"imgs/TeaCup茶杯/主图/b.jpg", b},
                                  {"imgs/TeaCup茶杯/详情/c.jpg", c},
                                  {"imgs/TeaCup茶杯/详情/d.png", d},
                                  {"imgs/TeaCup茶杯/详情/e.gif", e}}));
    EXPECT_EQ(Requests(), (std::vector<std::string>{
                              row.address.substr(row.address.find("//") + 2),
                              "img.quorvel.example/n12/jfs/t1/a.jpg",
                              "img.quorvel.example/n12/jfs/t2/b.jpg",
                              "d.quorvel.example/desc/1.html",
                              "cdn.quorvel.example/d/c.jpg",
                              "img.quorvel.example/d/d.png",
                              "cdn.quorvel.example/d/e.gif",
                          }));
    for (const auto& r : ParseShopLog(Shop().Log())) {
      // The shop hosts keep their schemes: pages and pictures as addressed,
      // the description page over plain HTTP.
      if (r.host == kDescHost) {
        EXPECT_EQ(r.scheme, "http") << r.path;
      }
      if (r.host == kImgHost && r.path.starts_with("/n12/")) {
        EXPECT_EQ(r.scheme, "https") << r.path;
      }
    }
    EXPECT_LT(run.seconds, kQuickRunSeconds);
  }
}

TEST_F(E2eTest, SeveralProductsInOneCallEachInItsFolder) {
  struct Row {
    const char* name;
    bool secondPageAnswers;
    int exitCode;
  };
  const std::string p1 = "https://item.quorvel.example/p1.html";
  const std::string p2 = "http://item.quorvel.example/p2.html";
  const std::string p3 = "https://item.quorvel.example/p3.html";
  const std::string x = PictureBytes(10, 5000), y = PictureBytes(11, 6000);
  const std::string z = PictureBytes(12, 7000);
  for (const Row& row : {Row{"all saved", true, 0}, Row{"middle page missing", false, 1}}) {
    SCOPED_TRACE(row.name);
    Fresh();
    AddRoutes({
        Route(kItemHost, "/p1.html", Page("One", "", R"(imageList: ["a/x.jpg"])")),
        Route(kItemHost, "/p3.html", Page("Three", "", R"(imageList: ["a/z.jpg","a/x.jpg"])")),
        Route(kImgHost, "/n12/a/x.jpg", x),
        Route(kImgHost, "/n12/a/y.jpg", y),
        Route(kImgHost, "/n12/a/z.jpg", z),
    });
    if (row.secondPageAnswers) {
      AddRoutes({Route(kItemHost, "/p2.html", Page("Two", "", R"(imageList: ["a/y.jpg"])"))});
    }

    const CliRun run = RunInto({p1, p2, p3});

    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    const std::string second = row.secondPageAnswers ? Summary(Folder("Two"), 1, 0, 0, 0)
                                                     : Summary(Out() + "/imgs/", 0, 0, 0, 0, p2);
    EXPECT_EQ(run.out, ProductOutput(1, 3, p1, Summary(Folder("One"), 1, 0, 0, 0)) +
                           ProductOutput(2, 3, p2, second) +
                           ProductOutput(3, 3, p3, Summary(Folder("Three"), 2, 0, 0, 0)));
    // No terminal: no progress line, no escape sequence.
    EXPECT_EQ(run.out.find_first_of("\r\x1b"), std::string::npos);
    Tree want = {
        {"imgs/One/主图/x.jpg", x}, {"imgs/Three/主图/z.jpg", z}, {"imgs/Three/主图/x.jpg", x}};
    if (row.secondPageAnswers) want["imgs/Two/主图/y.jpg"] = y;
    EXPECT_EQ(OnDisk(), Expected(want));
    EXPECT_LT(run.seconds, kQuickRunSeconds);
  }
}

TEST_F(E2eTest, HelpAndVersion) {
  struct Row {
    std::vector<std::string> args;
    std::string outStart;
  };
  const Row rows[] = {
      {{"--help"}, "Usage: qvpics-cli [-o DIR] URL...\n"},
      {{"-h", "https://item.quorvel.example/1.html"}, "Usage: qvpics-cli [-o DIR] URL...\n"},
      {{"--version"}, std::string("qvpics-cli ") + QV_VERSION + "\n"},
      {{"-V"}, std::string("qvpics-cli ") + QV_VERSION + "\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0]);
    const CliRun run = Run(row.args);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.starts_with(row.outStart)) << run.out;
    EXPECT_EQ(run.err, "");
    if (row.args[0] == "--help") {
      for (const char* part : {"-o, --output DIR", "--version", "主图", "详情", "130"}) {
        EXPECT_NE(run.out.find(part), std::string::npos) << part;
      }
    } else if (row.outStart.starts_with("qvpics-cli ")) {
      EXPECT_EQ(run.out, row.outStart);
    }
  }
  EXPECT_EQ(Shop().Log(), "[]");
  EXPECT_EQ(OnDisk(), Expected({}));
}

TEST_F(E2eTest, UsageErrorsWriteNothingAndExitTwo) {
  const std::string good = "https://item.quorvel.example/1.html";
  AddRoutes({Route(kItemHost, "/1.html", Page("P", "", R"(imageList: ["a/x.jpg"])")),
             Route(kImgHost, "/n12/a/x.jpg", "x")});
  ASSERT_TRUE(testing::WriteWholeFile(root_->Native("cwd/file"), "f"));
  struct Row {
    std::vector<std::string> args;
    std::string errorPart;
  };
  const Row rows[] = {
      {{}, "no product page address given"},
      {{""}, "empty address"},
      {{" \t "}, "empty address"},
      {{"item.quorvel.example/1.html"}, "does not start with http:// or https://"},
      {{"ftp://item.quorvel.example/1.html"}, "does not start with http:// or https://"},
      {{"http://"}, "no host after the scheme"},
      {{"https:///1.html"}, "no host after the scheme"},
      {{"https://item quorvel/1.html"}, "blank, a control character"},
      {{"https://item.quorvel.example:99999/1.html"}, "port"},
      // Every address is checked before the first download.
      {{good, ""}, "empty address"},
      {{good, "https://item.quorvel.example/\x1b[2J"}, "'https://item.quorvel.example/\\x1B[2J'"},
      {{good, "-o"}, "option -o needs a folder"},
      {{"--bogus", good}, "unknown option '--bogus'"},
      {{"-o", "file", good}, "not a folder"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.errorPart);
    const CliRun run = Run(row.args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("qvpics-cli: ")) << run.err;
    EXPECT_NE(run.err.find(row.errorPart), std::string::npos) << run.err;
    // One line.
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_LT(run.seconds, kQuickRunSeconds);
  }
  EXPECT_EQ(Shop().Log(), "[]");
  EXPECT_EQ(OnDisk(), WithFolders({{"cwd/file", "f"}}, {"out/"}));
}

TEST_F(E2eTest, ProductPageThatCannotBeHad) {
  const std::string address = "https://item.quorvel.example/1.html";
  const std::string page = Page("P", kDescField, R"(imageList: ["a/x.jpg"])");
  struct Row {
    const char* name;
    std::string extra;  // JSON members of the page route
  };
  const Row rows[] = {
      {"404 with a page body", ", \"status\": 404"},
      {"500", ", \"status\": 500"},
      {"reset mid-body", ", \"reset_after\": 30"},
      {"redirect loop", ", \"redirect\": \"https://item.quorvel.example/1.html\""},
      {"cut short", ", \"content_length\": 100000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fresh();
    AddRoutes({Route(kItemHost, "/1.html", page, row.extra), Route(kImgHost, "/n12/a/x.jpg", "x"),
               Route(kDescHost, kDescPath, "url(//cdn.quorvel.example/d/c.jpg)"),
               Route(kCdnHost, "/d/c.jpg", "c")});

    const CliRun run = RunInto({address});

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              ProductOutput(1, 1, address, Summary(Out() + "/imgs/", 0, 0, 0, 0, address)));
    // The empty product name gives imgs/ itself, and nothing goes in it.
    EXPECT_EQ(OnDisk(), Expected({}, {"imgs/"}));
    for (const std::string& r : Requests()) EXPECT_EQ(r, "item.quorvel.example/1.html");
    EXPECT_LT(run.seconds, kQuickRunSeconds);
  }
}

TEST_F(E2eTest, FailedPicturesLeaveNoFileAndExitOne) {
  const std::string address = "https://item.quorvel.example/1.html";
  const std::string good1 = PictureBytes(20, 50000), good2 = PictureBytes(21, 10);
  const std::string good3 = PictureBytes(22, 3000), body = PictureBytes(23, 50000);
  AddRoutes({
      Route(kItemHost, "/1.html",
            Page("P", kDescField,
                 R"(imageList: ["f/good1.jpg","f/404.jpg","f/500.jpg","f/reset.jpg",)"
                 R"("f/short.jpg","f/loop.jpg","f/good2.jpg"])")),
      Route(kImgHost, "/n12/f/good1.jpg", good1),
      Route(kImgHost, "/n12/f/404.jpg", body, ", \"status\": 404"),
      Route(kImgHost, "/n12/f/500.jpg", body, ", \"status\": 500"),
      Route(kImgHost, "/n12/f/reset.jpg", body, ", \"reset_after\": 20000"),
      Route(kImgHost, "/n12/f/short.jpg", body, ", \"content_length\": 60000"),
      Route(kImgHost, "/n12/f/loop.jpg", body,
            ", \"redirect\": \"https://img.quorvel.example/n12/f/loop.jpg\""),
      Route(kImgHost, "/n12/f/good2.jpg", good2),
      Route(kDescHost, kDescPath,
            "url(//cdn.quorvel.example/d/500.jpg) url(//cdn.quorvel.example/d/empty.jpg)\n"
            "<img data-lazyload=\\\"//cdn.quorvel.example/d/good3.png\\\">"
            "<img data-lazyload=\\\"//cdn.quorvel.example/d/chunked-reset.png\\\">"),
      Route(kCdnHost, "/d/500.jpg", body, ", \"status\": 500"),
      Route(kCdnHost, "/d/empty.jpg", ""),
      Route(kCdnHost, "/d/good3.png", good3),
      Route(kCdnHost, "/d/chunked-reset.png", body,
            ", \"chunked\": true, \"chunk_size\": 1000, \"reset_after\": 5000"),
  });

  const CliRun run = RunInto({address});

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, ProductOutput(1, 1, address, Summary(Folder("P"), 2, 5, 1, 3)));
  EXPECT_EQ(OnDisk(), Expected({{"imgs/P/主图/good1.jpg", good1},
                                {"imgs/P/主图/good2.jpg", good2},
                                {"imgs/P/详情/good3.png", good3}}));
  EXPECT_LT(run.seconds, kQuickRunSeconds);
}

TEST_F(E2eTest, ExitStatusIsZeroOnlyWhenEverythingWasSaved) {
  const std::string address = "https://item.quorvel.example/1.html";
  struct Row {
    const char* name;
    std::string mainExtra, descExtra;  // JSON members of the two pictures' routes
    bool pageAnswers;
    int exitCode;
  };
  const Row rows[] = {
      {"everything saved", "", "", true, 0},
      {"a main picture failed", ", \"status\": 404", "", true, 1},
      {"only a description picture failed", "", ", \"status\": 404", true, 1},
      {"no product page", "", "", false, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fresh();
    AddRoutes({Route(kImgHost, "/n12/a/m.jpg", "m", row.mainExtra),
               Route(kDescHost, kDescPath, "url(//cdn.quorvel.example/d/d.jpg)"),
               Route(kCdnHost, "/d/d.jpg", "d", row.descExtra)});
    if (row.pageAnswers) {
      AddRoutes({Route(kItemHost, "/1.html", Page("P", kDescField, R"(imageList: ["a/m.jpg"])"))});
    }
    const CliRun run = RunInto({address});
    EXPECT_EQ(run.exitCode, row.exitCode) << run.out;
    EXPECT_EQ(run.err, "");
    EXPECT_LT(run.seconds, kQuickRunSeconds);
  }
}

TEST_F(E2eTest, DescriptionPageOverFiveMegabytes) {
  const std::string address = "https://item.quorvel.example/1.html";
  // References at the start, in the middle and at the very end of 6 MB of
  // markup with GBK text in it.
  std::string filler;
  while (filler.size() < 3 * 1024 * 1024) {
    filler += "<p class=\\\"t\\\">\xC9\xCC\xC6\xB7\xCF\xEA\xC7\xE9 /* 商品详情 */ 0123456789</p>\n";
  }
  const std::string description = "url(//cdn.quorvel.example/d/first.jpg)\n" + filler +
                                  "<img data-lazyload=\\\"//cdn.quorvel.example/d/mid.png\\\">" +
                                  filler + "url(//cdn.quorvel.example/d/last.jpg)";
  ASSERT_GT(description.size(), 6u * 1024 * 1024);
  const std::string first = PictureBytes(30, 100), mid = PictureBytes(31, 200);
  const std::string last = PictureBytes(32, 300);
  AddRoutes({Route(kItemHost, "/1.html", Page("Big", kDescField, R"(imageList: [""])")),
             Route(kDescHost, kDescPath, description), Route(kCdnHost, "/d/first.jpg", first),
             Route(kCdnHost, "/d/mid.png", mid), Route(kCdnHost, "/d/last.jpg", last)});

  const CliRun run = RunInto({address});

  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, ProductOutput(1, 1, address, Summary(Folder("Big"), 0, 0, 3, 0)));
  EXPECT_EQ(OnDisk(), Expected({{"imgs/Big/详情/first.jpg", first},
                                {"imgs/Big/详情/last.jpg", last},
                                {"imgs/Big/详情/mid.png", mid}}));
  EXPECT_LT(run.seconds, kQuickRunSeconds);
}

TEST_F(E2eTest, NamesThatTryToLeaveTheFolderStayInside) {
  const std::string address = "https://item.quorvel.example/1.html";
  AddRoutes({
      // The name cleans to "tmpevil"; the list items and description
      // references try "..", backslashes (plain, %5C and a GBK trail byte)
      // and dot segments.
      Route(kItemHost, "/1.html",
            Page("../../../tmp/evil", kDescField,
                 R"(imageList: ["../../../../escape.jpg","..","jfs/a%5C..%5C..%5Cpct.jpg",)"
                 R"("jfs/x/../../dots.jpg"])")),
      Route(kImgHost, "/escape.jpg", "escape"),
      Route(kImgHost, "/n12/..", "dotdot"),
      Route(kImgHost, "/n12/jfs/a%5C..%5C..%5Cpct.jpg", "pct"),
      Route(kImgHost, "/n12/dots.jpg", "dots"),
      Route(kDescHost, kDescPath,
            "url(//cdn.quorvel.example/d/..) url(//cdn.quorvel.example/d/a\\..\\..\\bs.jpg) "
            "url(//cdn.quorvel.example/d/\x95\x5C.jpg) url(//cdn.quorvel.example/a/../../x.jpg)"),
      Route("*", "/d/..", "d-dotdot"),
      Route("*", "/d/a\\..\\..\\bs.jpg", "bs"),
      Route(kCdnHost, "/d/%E6%98%9E.jpg", "gbk"),
      Route(kCdnHost, "/x.jpg", "x"),
  });

  const CliRun run = RunInto({address});

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, ProductOutput(1, 1, address, Summary(Folder("tmpevil"), 3, 1, 2, 2)));
  // 0x95 0x5C is one GBK character (昞), not a backslash.
  EXPECT_EQ(OnDisk(), Expected({{"imgs/tmpevil/主图/escape.jpg", "escape"},
                                {"imgs/tmpevil/主图/a%5C..%5C..%5Cpct.jpg", "pct"},
                                {"imgs/tmpevil/主图/dots.jpg", "dots"},
                                {"imgs/tmpevil/详情/昞.jpg", "gbk"},
                                {"imgs/tmpevil/详情/x.jpg", "x"}}));
  // Names that are ".." or hold a backslash are not even asked for; the
  // GBK character goes out as its UTF-8 bytes, escaped.
  EXPECT_EQ(Requests(), (std::vector<std::string>{
                            "item.quorvel.example/1.html",
                            "img.quorvel.example/escape.jpg",
                            "img.quorvel.example/n12/jfs/a%5C..%5C..%5Cpct.jpg",
                            "img.quorvel.example/n12/dots.jpg",
                            "d.quorvel.example/desc/1.html",
                            "cdn.quorvel.example/d/%E6%98%9E.jpg",
                            "cdn.quorvel.example/x.jpg",
                        }));
  EXPECT_LT(run.seconds, kQuickRunSeconds);
}

// The one slow case: two runs at once, each waiting out the request
// routine's 15 s time-out once.
TEST_F(E2eTest, TimedOutRequestsFailAndTheRunGoesOn) {
  const std::string slowPage = "https://item.quorvel.example/slow.html";
  const std::string stallPicture = "https://item.quorvel.example/stall.html";
  const std::string a = PictureBytes(40, 2000), c = PictureBytes(41, 3000);
  AddRoutes({
      Route(kItemHost, "/slow.html", Page("Slow", "", R"(imageList: ["s/a.jpg"])"),
            ", \"delay_ms\": 20000"),
      Route(kItemHost, "/stall.html",
            Page("Stall", "", R"(imageList: ["s/a.jpg","s/b.jpg","s/c.jpg"])")),
      Route(kImgHost, "/n12/s/a.jpg", a),
      Route(kImgHost, "/n12/s/b.jpg", PictureBytes(42, 50000),
            ", \"stall_after\": 1000, \"stall_ms\": 20000"),
      Route(kImgHost, "/n12/s/c.jpg", c),
  });
  const std::string slowOut = root_->Native("slow");
  ASSERT_TRUE(MakeFolders(slowOut));

  CliProcess slow({"-o", slowOut, slowPage}, Cwd(), ConnectTo(Shop()));
  CliProcess stall({"-o", Out(), stallPicture}, Cwd(), ConnectTo(Shop()));
  const CliRun stallRun = stall.Wait(40);
  const CliRun slowRun = slow.Wait(40);

  EXPECT_EQ(slowRun.exitCode, 1);
  EXPECT_EQ(slowRun.out,
            ProductOutput(1, 1, slowPage, Summary(slowOut + "/imgs/", 0, 0, 0, 0, slowPage)));
  EXPECT_EQ(stallRun.exitCode, 1);
  EXPECT_EQ(stallRun.out, ProductOutput(1, 1, stallPicture, Summary(Folder("Stall"), 2, 1, 0, 0)));
  EXPECT_EQ(OnDisk(),
            WithFolders({{"out/imgs/Stall/主图/a.jpg", a}, {"out/imgs/Stall/主图/c.jpg", c}},
                        {"cwd/", "slow/", "slow/imgs/"}));
  // Each waited out one 15 s time-out, and no more.
  for (const CliRun* run : {&slowRun, &stallRun}) {
    EXPECT_GT(run->seconds, 14.0);
    EXPECT_LT(run->seconds, 19.0);
  }
  std::printf("time-out runs: page %.1f s, picture %.1f s\n", slowRun.seconds, stallRun.seconds);
}

TEST_F(E2eTest, StopSignalEndsTheRunAt130WithoutAPartialFile) {
  const std::string address = "https://item.quorvel.example/1.html";
  const std::string a = PictureBytes(50, 4000);
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(strsignal(signal));
    Fresh();
    AddRoutes({
        Route(kItemHost, "/1.html",
              Page("P", kDescField, R"(imageList: ["s/a.jpg","s/b.jpg","s/c.jpg"])")),
        Route(kImgHost, "/n12/s/a.jpg", a),
        Route(kImgHost, "/n12/s/b.jpg", PictureBytes(51, 80000),
              ", \"stall_after\": 40000, \"stall_ms\": 30000"),
        Route(kImgHost, "/n12/s/c.jpg", "c"),
        Route(kDescHost, kDescPath, "url(//cdn.quorvel.example/d/d.jpg)"),
        Route(kCdnHost, "/d/d.jpg", "d"),
    });
    CliProcess child({"-o", Out(), address}, Cwd(), ConnectTo(Shop()));
    // Waits until the stalling picture has been asked for and half sent.
    const Clock::time_point start = Clock::now();
    bool asked = false;
    while (!asked && SecondsSince(start) < kQuickRunSeconds) {
      for (const std::string& r : Requests()) asked = asked || r.ends_with("/s/b.jpg");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(asked);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Clock::time_point signalled = Clock::now();
    ASSERT_EQ(::kill(child.pid(), signal), 0);
    const CliRun run = child.Wait(20);
    const double afterSignal = SecondsSince(signalled);

    EXPECT_EQ(run.exitCode, 130) << "signal " << run.signal;
    EXPECT_LT(afterSignal, 1.5);
    // No summary: the download was stopped, not finished.
    EXPECT_EQ(run.out, "[1/1] " + address + "\n");
    EXPECT_NE(run.err.find("stopped by signal " + std::to_string(signal)), std::string::npos)
        << run.err;
    EXPECT_EQ(OnDisk(), Expected({{"imgs/P/主图/a.jpg", a}}));
    for (const std::string& r : Requests()) {
      EXPECT_FALSE(r.ends_with("/s/c.jpg") || r.starts_with(kDescHost)) << r;
    }
  }
}

TEST_F(E2eTest, ProgressLineOnATerminal) {
  const std::string address = "https://item.quorvel.example/1.html";
  AddRoutes({
      Route(kItemHost, "/1.html", Page("P", kDescField, R"(imageList: ["s/a.jpg","s/b.jpg"])")),
      Route(kImgHost, "/n12/s/a.jpg", "a"),
      Route(kImgHost, "/n12/s/b.jpg", "b"),
      Route(kDescHost, kDescPath, "url(//cdn.quorvel.example/d/c.png)"),
      Route(kCdnHost, "/d/c.png", "c"),
  });
  std::vector<std::string> args = {QV_CLI_PATH, "-o", Out(), address};
  std::vector<std::string> env = ChildEnvironment(ConnectTo(Shop()));
  std::vector<char*> argv = Pointers(args), envp = Pointers(env);
  const std::string cwd = Cwd();
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 100;
  int master = -1;
  const Clock::time_point start = Clock::now();
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  ASSERT_GE(pid, 0) << std::strerror(errno);
  if (pid == 0) {
    if (::chdir(cwd.c_str()) == 0) ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  std::string out;
  char buffer[4096];
  for (;;) {
    pollfd fd = {master, POLLIN, 0};
    if (::poll(&fd, 1, 20000) <= 0) break;
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the child has gone
    out.append(buffer, static_cast<size_t>(n));
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_LT(SecondsSince(start), kQuickRunSeconds);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The terminal turns each "\n" into "\r\n".
  for (size_t at; (at = out.find("\r\n")) != std::string::npos;) out.replace(at, 2, "\n");
  EXPECT_EQ(out, "[1/1] " + address + "\n" +
                     "\r\x1b[K主图 [--------------------] 1/2 a.jpg"
                     "\r\x1b[K主图 [##########----------] 2/2 b.jpg"
                     "\r\x1b[K详情 [--------------------] 1/1 c.png"
                     "\r\x1b[K" +
                     Summary(Folder("P"), 2, 0, 1, 0) + "\n");
}

TEST_F(E2eTest, SampleShopServesTheSampleProduct) {
  TestShop sample({"--routes", QV_SAMPLE_DIR "/routes.json"});
  // A folder that does not exist yet: the first picture makes it.
  const std::string out = root_->Native("new/deeper");
  CliProcess child({"-o", out, kSampleProductAddress}, Cwd(), ConnectTo(sample));
  const CliRun run = child.Wait(30);

  const std::string name = "北欧LED台灯Lamp2白色";
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            ProductOutput(1, 1, kSampleProductAddress, Summary(out + "/imgs/" + name, 3, 0, 3, 0)));
  const std::string pictures = QV_SAMPLE_DIR "/pictures/";
  Tree want;
  for (const char* file : {"lamp-front.jpg", "lamp-side.png", "lamp-box.jpg"}) {
    want["new/deeper/imgs/" + name + "/主图/" + file] = testing::ReadWholeFile(pictures + file);
  }
  for (const char* file : {"desc-banner.jpg", "size-chart.png", "detail-light.jpg"}) {
    want["new/deeper/imgs/" + name + "/详情/" + file] = testing::ReadWholeFile(pictures + file);
  }
  for (const auto& [path, bytes] : want) {
    ASSERT_GT(bytes.size(), 500u) << path;  // real pictures, read from the sample
  }
  EXPECT_EQ(OnDisk(), WithFolders(want, {"cwd/", "out/"}));
  EXPECT_LT(run.seconds, kQuickRunSeconds);
}

}  // namespace
}  // namespace qv
