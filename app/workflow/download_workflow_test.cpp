#include "app/workflow/download_workflow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/workflow/workflow_test_support.h"
#include "fileio/path.h"
#include "fileio/test_folder.h"
#include "web/shop_log.h"

namespace qv {
namespace {

using testing::kDeadHost;
using testing::ParseShopLog;
using testing::PictureBytes;
using testing::RecordingObserver;
using testing::Route;
using testing::Routes;
using testing::Shop;
using testing::TempFolder;
using testing::TreeOnDisk;
using Tree = std::map<std::string, std::string>;
using Clock = std::chrono::steady_clock;

constexpr char kItemHost[] = "item.quorvel.example";
constexpr char kImgHost[] = "img.quorvel.example";
constexpr char kDescHost[] = "d.quorvel.example";
constexpr char kCdnHost[] = "cdn.quorvel.example";
constexpr char kPageAddress[] = "https://item.quorvel.example/57038905465.html";
constexpr char kPagePath[] = "/57038905465.html";
constexpr char kDescField[] = "//d.quorvel.example/desc/57038905465.html";
constexpr char kDescPath[] = "/desc/57038905465.html";

// A product page as the shop sends it (UTF-8); list is the list part, e.g.
// imageList: ["a.jpg"]. An empty desc leaves the desc field out.
std::string Page(const std::string& name, const std::string& desc, const std::string& list) {
  std::string page = "<html><head><title>" + name +
                     "</title></head><script>\nvar pageConfig = {\n product: {\n  skuid: 1,\n"
                     "  name: '" +
                     name + "',\n";
  if (!desc.empty()) page += "  desc: '" + desc + "',\n";
  return page + "  " + list + ",\n  cat: [1,2]\n }\n};\n</script></html>";
}

// files with every folder above each of them added, as TreeOnDisk lists it.
Tree WithFolders(Tree files, const std::vector<std::string>& moreFolders = {}) {
  Tree out = files;
  for (const auto& [path, bytes] : files) {
    for (size_t at = path.find('/'); at != std::string::npos; at = path.find('/', at + 1)) {
      out[path.substr(0, at + 1)] = "<dir>";
    }
  }
  for (const std::string& f : moreFolders) out[f] = "<dir>";
  return out;
}

class DownloadWorkflowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::FreshPageRegex(); }
  static void TearDownTestSuite() { DestroyPageRegex(); }

  void SetUp() override { Fresh(); }

  // A new shop state, base folder and observer (for table rows).
  void Fresh() {
    Shop().Reset();
    tmp_ = std::make_unique<TempFolder>();
    ASSERT_TRUE(tmp_->ok());
    observer_ = RecordingObserver();
  }

  DownloadSummary Run(const std::string& address = kPageAddress,
                      const std::atomic<bool>* abort = nullptr) {
    DownloadWorkflow flow(&observer_, {.baseFolder = PathFromUtf8(tmp_->native()), .abort = abort});
    const DownloadSummary summary = flow.OnDownloadClicked(address);
    EXPECT_EQ(flow.ImageFolder(), summary.productFolder);
    return summary;
  }

  void ServePage(const std::string& page, const std::string& extra = "") {
    Shop().AddRoutes(Routes({Route(kItemHost, kPagePath, page, extra)}));
  }

  // host + path of every request the shop got, in order.
  static std::vector<std::string> Requests() {
    std::vector<std::string> out;
    for (const auto& r : ParseShopLog(Shop().Log())) out.push_back(r.host + r.path);
    return out;
  }
  // The paths asked of one host, in order.
  static std::vector<std::string> PathsOf(std::string_view host) {
    std::vector<std::string> out;
    for (const auto& r : ParseShopLog(Shop().Log())) {
      if (r.host == host) out.push_back(r.path);
    }
    return out;
  }

  Tree OnDisk() const { return TreeOnDisk(tmp_->native()); }
  std::string BaseUtf8() const { return tmp_->native(); }

  std::unique_ptr<TempFolder> tmp_;
  RecordingObserver observer_;
};

TEST_F(DownloadWorkflowTest, EmptyAddressOnlyAsksForOne) {
  const DownloadSummary s = Run("");
  EXPECT_EQ(observer_.calls, std::vector<std::string>{"message"});
  EXPECT_EQ(observer_.messages, std::vector<std::string>{"请输入qv网址"});
  EXPECT_EQ(observer_.captions, std::vector<std::string>{"提示"});
  EXPECT_FALSE(s.pageFetched);
  EXPECT_FALSE(s.cancelled);
  EXPECT_TRUE(s.productFolder.empty());
  EXPECT_EQ(Shop().Log(), "[]");
  EXPECT_TRUE(OnDisk().empty());
}

TEST_F(DownloadWorkflowTest, SavesMainAndDescriptionPicturesInOrder) {
  const std::string a = PictureBytes(1, 20000), b = PictureBytes(2, 7);
  const std::string c = PictureBytes(3, 4096), d = PictureBytes(4, 1);
  ServePage(Page("Tea Cup", kDescField, R"(imageList: ["jfs/t1/a.jpg","jfs/t2/b.jpg"])"));
  Shop().AddRoutes(Routes({
      Route(kImgHost, "/n12/jfs/t1/a.jpg", a),
      Route(kImgHost, "/n12/jfs/t2/b.jpg", b),
      Route(kDescHost, kDescPath,
            "<div style=\"background:url(//cdn.quorvel.example/d/c.jpg)\"></div>"
            "<img data-lazyload=\\\"//cdn.quorvel.example/d/d.png\\\">"),
      Route(kCdnHost, "/d/c.jpg", c),
      Route(kCdnHost, "/d/d.png", d),
  }));

  const DownloadSummary s = Run();

  EXPECT_EQ(observer_.calls, (std::vector<std::string>{
                                 "disable",
                                 "progress main 1/2 a.jpg",
                                 "progress main 2/2 b.jpg",
                                 "progress desc 1/1 c.jpg",
                                 "progress desc 1/1 d.png",
                                 "message",
                                 "enable",
                             }));
  EXPECT_EQ(OnDisk(), WithFolders({{"imgs/TeaCup/主图/a.jpg", a},
                                   {"imgs/TeaCup/主图/b.jpg", b},
                                   {"imgs/TeaCup/详情/c.jpg", c},
                                   {"imgs/TeaCup/详情/d.png", d}}));
  EXPECT_EQ(Requests(), (std::vector<std::string>{
                            std::string(kItemHost) + kPagePath,
                            std::string(kImgHost) + "/n12/jfs/t1/a.jpg",
                            std::string(kImgHost) + "/n12/jfs/t2/b.jpg",
                            std::string(kDescHost) + kDescPath,
                            std::string(kCdnHost) + "/d/c.jpg",
                            std::string(kCdnHost) + "/d/d.png",
                        }));
  EXPECT_TRUE(s.pageFetched);
  EXPECT_FALSE(s.cancelled);
  EXPECT_EQ(s.mainSaved, 2);
  EXPECT_EQ(s.mainFailed, 0);
  EXPECT_EQ(s.descriptionSaved, 2);
  EXPECT_EQ(s.descriptionFailed, 0);
  EXPECT_EQ(PathToUtf8(s.productFolder), BaseUtf8() + "/imgs/TeaCup");
  ASSERT_EQ(observer_.messages.size(), 1u);
  EXPECT_EQ(observer_.messages[0],
            "下载完成！\n主图：已保存 2 张，失败 0 张\n详情图：已保存 2 张，失败 0 张\n保存位置：" +
                BaseUtf8() + "/imgs/TeaCup");
  EXPECT_EQ(observer_.captions[0], "提示");
  EXPECT_EQ(s.message, observer_.messages[0]);

  // Again: the same files with the same bytes, nothing else.
  const Tree first = OnDisk();
  Run();
  EXPECT_EQ(OnDisk(), first);
}

TEST_F(DownloadWorkflowTest, ListFormsOverAllPathWins) {
  struct Row {
    const char* name;
    std::string list;
    std::vector<std::string> saved;
  };
  const Row rows[] = {
      {"imageList", R"(imageList: ["i/1.jpg","i/2.jpg"])", {"1.jpg", "2.jpg"}},
      {"overAllPath", R"(x: {"overAllPath":["o/3.jpg","o/4.jpg"]})", {"3.jpg", "4.jpg"}},
      {"both, imageList first",
       R"(imageList: ["i/1.jpg"], x: {"overAllPath":["o/3.jpg"]})",
       {"3.jpg"}},
      {"both, overAllPath first",
       R"(x: {"overAllPath":["o/4.jpg"]}, imageList: ["i/2.jpg"])",
       {"4.jpg"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fresh();
    ServePage(Page("P", "", row.list));
    std::vector<std::string> routes;
    Tree want;
    for (int i = 1; i <= 4; ++i) {
      const std::string file = std::to_string(i) + ".jpg";
      const std::string bytes = PictureBytes(10 + i, 100 * i);
      routes.push_back(Route(kImgHost, std::string(i <= 2 ? "/n12/i/" : "/n12/o/") + file, bytes));
      for (const std::string& s : row.saved) {
        if (s == file) want["imgs/P/主图/" + file] = bytes;
      }
    }
    Shop().AddRoutes(Routes(routes));
    const DownloadSummary s = Run();
    EXPECT_EQ(OnDisk(), WithFolders(want));
    EXPECT_EQ(s.mainSaved, static_cast<int>(row.saved.size()));
    EXPECT_EQ(s.mainFailed, 0);
    // The other form's pictures were not even asked for.
    std::vector<std::string> paths;
    for (const std::string& f : row.saved) paths.push_back((f < "3" ? "/n12/i/" : "/n12/o/") + f);
    EXPECT_EQ(PathsOf(kImgHost), paths);
  }
}

TEST_F(DownloadWorkflowTest, ProductFolderKeepsOnlyNameCharacters) {
  const std::string pic = PictureBytes(5, 300);
  struct Row {
    std::string rawName;  // UTF-8
    std::string folder;   // under the base folder
  };
  const Row rows[] = {
      {"Abc 12_3（红色）", "imgs/Abc12_3红色/"},
      {"Ｆｕｌｌ width, ５ pieces! 中文_名", "imgs/widthpieces中文_名/"},
      {"../..", "imgs/"},
      {"！？ ・", "imgs/"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.rawName);
    Fresh();
    ServePage(Page(row.rawName, "", R"(imageList: ["jfs/a.jpg"])"));
    Shop().AddRoutes(Routes({Route(kImgHost, "/n12/jfs/a.jpg", pic)}));
    const DownloadSummary s = Run();
    EXPECT_EQ(OnDisk(), WithFolders({{row.folder + "主图/a.jpg", pic}}));
    EXPECT_EQ(PathToUtf8(s.productFolder), BaseUtf8() + "/" +
                                               row.folder.substr(0, row.folder.size() - 1) +
                                               (row.folder == "imgs/" ? "/" : ""));
    ASSERT_EQ(observer_.messages.size(), 1u);
    EXPECT_NE(observer_.messages[0].find("\n保存位置：" + PathToUtf8(s.productFolder)),
              std::string::npos)
        << observer_.messages[0];
  }
}

TEST_F(DownloadWorkflowTest, EmptyListItemsAskForTheBarePrefix) {
  const std::string a = PictureBytes(6, 50), b = PictureBytes(7, 60), n = PictureBytes(8, 70);
  struct Row {
    const char* name;
    bool prefixAnswers;  // the shop has a picture at /n12/
  };
  for (const Row& row : {Row{"prefix answers 200", true}, Row{"prefix not found", false}}) {
    SCOPED_TRACE(row.name);
    Fresh();
    // An empty item in the middle, and a trailing comma.
    ServePage(Page("P", "", R"(imageList: ["jfs/a.jpg","","jfs/b.jpg",""])"));
    std::vector<std::string> routes = {Route(kImgHost, "/n12/jfs/a.jpg", a),
                                       Route(kImgHost, "/n12/jfs/b.jpg", b)};
    if (row.prefixAnswers) routes.push_back(Route(kImgHost, "/n12/", n));
    Shop().AddRoutes(Routes(routes));

    const DownloadSummary s = Run();
    Tree want = {{"imgs/P/主图/a.jpg", a}, {"imgs/P/主图/b.jpg", b}};
    if (row.prefixAnswers) want["imgs/P/主图/n12"] = n;
    EXPECT_EQ(OnDisk(), WithFolders(want));
    EXPECT_EQ(Requests(), (std::vector<std::string>{
                              std::string(kItemHost) + kPagePath,
                              std::string(kImgHost) + "/n12/jfs/a.jpg",
                              std::string(kImgHost) + "/n12/",
                              std::string(kImgHost) + "/n12/jfs/b.jpg",
                          }));
    EXPECT_EQ(s.mainSaved, row.prefixAnswers ? 3 : 2);
    EXPECT_EQ(s.mainFailed, row.prefixAnswers ? 0 : 1);
    EXPECT_EQ(observer_.calls[2], "progress main 2/3 n12");
  }
}

TEST_F(DownloadWorkflowTest, LaterPictureOfTheSameNameWins) {
  const std::string longer = PictureBytes(9, 5000), shorter = PictureBytes(10, 40);
  for (const bool longFirst : {true, false}) {
    SCOPED_TRACE(longFirst ? "long then short" : "short then long");
    Fresh();
    ServePage(Page("P", "", R"(imageList: ["x/p.jpg","y/p.jpg"])"));
    Shop().AddRoutes(Routes({Route(kImgHost, "/n12/x/p.jpg", longFirst ? longer : shorter),
                             Route(kImgHost, "/n12/y/p.jpg", longFirst ? shorter : longer)}));
    const DownloadSummary s = Run();
    EXPECT_EQ(OnDisk(), WithFolders({{"imgs/P/主图/p.jpg", longFirst ? shorter : longer}}));
    EXPECT_EQ(s.mainSaved, 2);
  }
}

TEST_F(DownloadWorkflowTest, DescriptionReferencesInEveryForm) {
  ServePage(Page("P", kDescField, R"(imageList: [""])"));
  const char* description =
      "<style>\n"
      ".a{background:url(//cdn.quorvel.example/d/a.jpg)}\n"
      ".b{background:url('//cdn.quorvel.example/d/q1.jpg')}\n"
      ".c{background:url(\"//cdn.quorvel.example/d/q2.jpg\")}\n"
      ".d{background:URL(http://cdn.quorvel.example/d/upper.jpg)}\n"
      ".e{background:url(cdn.quorvel.example/d/plain.jpg)}\n"
      ".f{background:url(cdn.quorvel.example/http/mid.jpg)}\n"
      ".g{background:url(HTTP://cdn.quorvel.example/d/caps.jpg)}\n"
      ".h{background:url()}\n"
      ".i{background:url(https://cdn.quorvel.example/d/s.jpg)}\n"
      "</style>\n"
      "<img data-lazyload=\\\"//cdn.quorvel.example/d/lazy.png\\\">\n"
      "<img data-lazyload=\"//cdn.quorvel.example/d/bare.png\">\n"
      "<img data-lazyload=\\\"http://cdn.quorvel.example/d/a.jpg\\\">\n";
  std::map<std::string, std::string> bytes;
  std::vector<std::string> routes = {Route(kDescHost, kDescPath, description)};
  int seed = 20;
  for (const char* path :
       {"/d/a.jpg", "/d/q1.jpg", "/d/q1.jpg'", "/d/q2.jpg", "/d/upper.jpg", "/d/plain.jpg",
        "/http/mid.jpg", "/d/caps.jpg", "/d/s.jpg", "/d/lazy.png", "/d/bare.png"}) {
    ++seed;
    bytes[path] = PictureBytes(seed, 100 + seed);
    routes.push_back(Route(kCdnHost, path, bytes[path]));
  }
  Shop().AddRoutes(Routes(routes));

  const DownloadSummary s = Run();

  EXPECT_EQ(OnDisk(), WithFolders({{"imgs/P/详情/a.jpg", bytes["/d/a.jpg"]},
                                   {"imgs/P/详情/upper.jpg", bytes["/d/upper.jpg"]},
                                   {"imgs/P/详情/plain.jpg", bytes["/d/plain.jpg"]},
                                   {"imgs/P/详情/s.jpg", bytes["/d/s.jpg"]},
                                   {"imgs/P/详情/lazy.png", bytes["/d/lazy.png"]}}));
  // Quoted references keep their quotes and fail; an address holding "http"
  // somewhere but no scheme, and one with the scheme in capitals, fail; the
  // bare-quoted attribute is not matched; a.jpg is fetched twice.
  std::vector<std::string> cdn;
  for (const std::string& r : Requests()) {
    if (r.starts_with(kCdnHost)) cdn.push_back(r.substr(std::string(kCdnHost).size()));
  }
  EXPECT_EQ(cdn, (std::vector<std::string>{"/d/a.jpg", "/d/upper.jpg", "/d/plain.jpg", "/d/s.jpg",
                                           "/d/lazy.png", "/d/a.jpg"}));
  EXPECT_EQ(s.descriptionSaved, 6);
  EXPECT_EQ(s.descriptionFailed, 5);  // q1, q2, mid, caps, url()
  std::vector<std::string> names;
  for (const DownloadProgress& p : observer_.progress) {
    if (p.phase == DownloadPhase::kDescriptionPictures) {
      names.push_back(p.fileName + " " + std::to_string(p.index) + "/" + std::to_string(p.count));
    }
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"a.jpg 1/9", "q1.jpg' 2/9", "q2.jpg\" 3/9", "upper.jpg 4/9",
                                      "plain.jpg 5/9", "mid.jpg 6/9", "caps.jpg 7/9", " 8/9",
                                      "s.jpg 9/9", "lazy.png 1/2", "a.jpg 2/2"}));
}

TEST_F(DownloadWorkflowTest, PageWithoutDescriptionFieldStillCompletes) {
  const std::string a = PictureBytes(30, 123);
  ServePage(Page("P", "", R"(imageList: ["jfs/a.jpg"])"));
  Shop().AddRoutes(Routes({Route(kImgHost, "/n12/jfs/a.jpg", a)}));
  const DownloadSummary s = Run();
  EXPECT_EQ(OnDisk(), WithFolders({{"imgs/P/主图/a.jpg", a}}));
  // Without a description field no description page is asked for: the bare
  // "http:" would name a host called "http".
  EXPECT_EQ(Requests(), (std::vector<std::string>{std::string(kItemHost) + kPagePath,
                                                  std::string(kImgHost) + "/n12/jfs/a.jpg"}));
  EXPECT_EQ(observer_.calls,
            (std::vector<std::string>{"disable", "progress main 1/1 a.jpg", "message", "enable"}));
  EXPECT_TRUE(s.pageFetched);
  EXPECT_EQ(s.descriptionSaved + s.descriptionFailed, 0);
}

TEST_F(DownloadWorkflowTest, ProductPageThatCannotBeHadIsNamed) {
  // A page that would give pictures, had it been accepted.
  const std::string page = Page("P", kDescField, R"(imageList: ["jfs/a.jpg"])");
  struct Row {
    const char* name;
    std::string address;
    std::string route;  // extra JSON members for the page route; "-" for none
    std::string body;
  };
  const std::string dead = std::string("https://") + kDeadHost + kPagePath;
  const Row rows[] = {
      {"404 with a page body", kPageAddress, ", \"status\": 404", page},
      {"500", kPageAddress, ", \"status\": 500", page},
      {"reset", kPageAddress, ", \"reset_after\": 20", page},
      {"empty body", kPageAddress, "", ""},
      {"no answer", dead, "-", ""},
      {"no route", "https://item.quorvel.example/none.html", "-", ""},
      // Blanks are an address like any other, and no usable one.
      {"blanks only", "   ", "-", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fresh();
    if (row.route != "-") ServePage(row.body, row.route);
    Shop().AddRoutes(Routes({Route(kImgHost, "/n12/jfs/a.jpg", "pic"),
                             Route(kDescHost, kDescPath, "url(//cdn.quorvel.example/d/a.jpg)"),
                             Route(kCdnHost, "/d/a.jpg", "pic")}));
    const DownloadSummary s = Run(row.address);
    EXPECT_FALSE(s.pageFetched);
    EXPECT_FALSE(s.cancelled);
    EXPECT_EQ(observer_.calls, (std::vector<std::string>{"disable", "message", "enable"}));
    ASSERT_EQ(observer_.messages.size(), 1u);
    EXPECT_EQ(observer_.messages[0],
              "下载完成！\n无法获取商品页面：" + row.address +
                  "\n主图：已保存 0 张，失败 0 张\n详情图：已保存 0 张，失败 0 张\n保存位置：" +
                  BaseUtf8() + "/imgs/");
    // Only the imgs folder itself, as an empty product name gives.
    EXPECT_EQ(OnDisk(), WithFolders({}, {"imgs/"}));
    // The page (unless nothing answers), and no description fetch.
    std::vector<std::string> want;
    if (row.address.starts_with("https://item.")) {
      want.push_back(row.address.substr(std::string("https://").size()));
    }
    EXPECT_EQ(Requests(), want);
  }
}

TEST_F(DownloadWorkflowTest, FailedPicturesAreNotWrittenAndOldFilesStay) {
  const std::string good = PictureBytes(40, 3000);
  ServePage(Page("P", "",
                 R"(imageList: ["f/404.jpg","f/500.jpg","f/reset.jpg","f/short.jpg",)"
                 R"("f/empty.jpg","f/good.jpg","f/none.jpg"])"));
  Shop().AddRoutes(Routes({
      Route(kImgHost, "/n12/f/404.jpg", good, ", \"status\": 404"),
      Route(kImgHost, "/n12/f/500.jpg", good, ", \"status\": 500"),
      Route(kImgHost, "/n12/f/reset.jpg", good, ", \"reset_after\": 1000"),
      Route(kImgHost, "/n12/f/short.jpg", good, ", \"content_length\": 4000"),
      Route(kImgHost, "/n12/f/empty.jpg", ""),
      Route(kImgHost, "/n12/f/good.jpg", good),
  }));
  // Old files under three of the names: two that fail, and a longer one
  // under the name that succeeds.
  const std::string folder = BaseUtf8() + "/imgs/P/主图";
  ASSERT_TRUE(testing::MakeFolders(folder));
  ASSERT_TRUE(testing::WriteWholeFile(folder + "/404.jpg", "old 404"));
  ASSERT_TRUE(testing::WriteWholeFile(folder + "/short.jpg", "old short"));
  ASSERT_TRUE(testing::WriteWholeFile(folder + "/good.jpg", PictureBytes(41, 9000)));

  const DownloadSummary s = Run();
  EXPECT_EQ(OnDisk(), WithFolders({{"imgs/P/主图/404.jpg", "old 404"},
                                   {"imgs/P/主图/short.jpg", "old short"},
                                   {"imgs/P/主图/good.jpg", good}}));
  EXPECT_EQ(s.mainSaved, 1);
  EXPECT_EQ(s.mainFailed, 6);
  ASSERT_EQ(observer_.messages.size(), 1u);
  EXPECT_NE(observer_.messages[0].find("\n主图：已保存 1 张，失败 6 张\n"), std::string::npos)
      << observer_.messages[0];
}

TEST_F(DownloadWorkflowTest, UnusableNamesAreSkipped) {
  // Description addresses are taken as they come: names that would climb
  // out of the folder, or that the file system refuses.
  ServePage(Page("P", kDescField, R"(imageList: [""])"));
  Shop().AddRoutes(Routes({
      Route(kDescHost, kDescPath,
            "url(//cdn.quorvel.example/d/..) url(//cdn.quorvel.example/d/.) "
            "url(//cdn.quorvel.example/d/x.jpg?w=1) url(//cdn.quorvel.example/d/ok.jpg)"),
      Route("*", "/d/..", "x"),
      Route("*", "/d/.", "x"),
      Route("*", "/d/x.jpg", "x"),
      Route(kCdnHost, "/d/ok.jpg", "ok"),
  }));
  const DownloadSummary s = Run();
  EXPECT_EQ(OnDisk(), WithFolders({{"imgs/P/详情/ok.jpg", "ok"}}));
  EXPECT_EQ(s.descriptionSaved, 1);
  EXPECT_EQ(s.descriptionFailed, 3);
  std::vector<std::string> cdn;
  for (const std::string& r : Requests()) {
    if (r.starts_with(kCdnHost)) cdn.push_back(r);
  }
  EXPECT_EQ(cdn, std::vector<std::string>{std::string(kCdnHost) + "/d/ok.jpg"});
}

TEST_F(DownloadWorkflowTest, AbortStopsQuicklyAndWritesNothingMore) {
  struct Row {
    const char* name;
    std::string pageExtra;     // JSON members of the page route
    std::string pictureExtra;  // JSON members of the first picture's route
    std::vector<std::string> calls;
  };
  const Row rows[] = {
      {"during the product page", ", \"delay_ms\": 10000", "", {"disable"}},
      {"during a picture",
       "",
       ", \"stall_after\": 1000, \"stall_ms\": 10000",
       {"disable", "progress main 1/2 a.jpg"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fresh();
    ServePage(Page("P", kDescField, R"(imageList: ["jfs/a.jpg","jfs/b.jpg"])"), row.pageExtra);
    Shop().AddRoutes(
        Routes({Route(kImgHost, "/n12/jfs/a.jpg", PictureBytes(50, 60000), row.pictureExtra),
                Route(kImgHost, "/n12/jfs/b.jpg", "b"),
                Route(kDescHost, kDescPath, "url(//cdn.quorvel.example/d/c.jpg)"),
                Route(kCdnHost, "/d/c.jpg", "c")}));
    std::atomic<bool> abort{false};
    Clock::time_point abortedAt;
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      abortedAt = Clock::now();
      abort = true;
    });
    const DownloadSummary s = Run(kPageAddress, &abort);
    const Clock::time_point returnedAt = Clock::now();
    stopper.join();
    EXPECT_LT(std::chrono::duration<double>(returnedAt - abortedAt).count(), 1.0);
    EXPECT_TRUE(s.cancelled);
    EXPECT_TRUE(s.message.empty());
    // The abandoned picture counts neither as saved nor as failed.
    EXPECT_EQ(s.mainSaved + s.mainFailed, 0);
    EXPECT_EQ(observer_.calls, row.calls);
    // Nothing written: not the picture cut short, nor any folder.
    EXPECT_TRUE(OnDisk().empty()) << OnDisk().size();
    for (const std::string& r : Requests()) {
      EXPECT_FALSE(r.ends_with("b.jpg") || r.starts_with(kDescHost)) << r;
    }
  }
}

TEST_F(DownloadWorkflowTest, AbortAlreadySetDoesNothing) {
  ServePage(Page("P", "", R"(imageList: ["jfs/a.jpg"])"));
  const std::atomic<bool> abort{true};
  const DownloadSummary s = Run(kPageAddress, &abort);
  EXPECT_TRUE(s.cancelled);
  EXPECT_TRUE(observer_.calls.empty());
  EXPECT_EQ(Shop().Log(), "[]");
  EXPECT_TRUE(OnDisk().empty());
}

TEST_F(DownloadWorkflowTest, WithoutObserverItStillRuns) {
  const std::string a = PictureBytes(60, 10);
  ServePage(Page("P", "", R"(imageList: ["jfs/a.jpg"])"));
  Shop().AddRoutes(Routes({Route(kImgHost, "/n12/jfs/a.jpg", a)}));
  DownloadWorkflow flow(nullptr, {.baseFolder = PathFromUtf8(BaseUtf8())});
  const DownloadSummary s = flow.OnDownloadClicked(kPageAddress);
  EXPECT_EQ(s.mainSaved, 1);
  EXPECT_EQ(OnDisk(), WithFolders({{"imgs/P/主图/a.jpg", a}}));
}

}  // namespace
}  // namespace qv
