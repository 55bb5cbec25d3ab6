// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-printer-app against a simulated QV-46: documents of each format
// through IPP into the printer, the same stream as rastertoqv46, the
// printer's state over IPP and on the web page, unplugging and bad input.
#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "AppUnderTest.h"
#include "PhotoFiles.h"
#include "PrintSystem.h"
#include "TestImages.h"

using apptest::AppUnderTest;

namespace {

class PrinterApp : public apptest::AppTest {
 protected:
  // A 6 x 4 in photo as JPEG or PNG.
  std::string Photo(const std::string& name) {
    const std::string png = Path("photo.png");
    EXPECT_TRUE(e2e::WritePng(png, e2e::SamplePhoto(900, 600)));
    if (name == "photo.png") return png;
    EXPECT_EQ(0, apptest::Run({"convert", png, "-quality", "90", Path(name)}));
    return Path(name);
  }

  // Decodes `stream` with qv46-stream; its exit status, listing in *listing.
  int Decode(const std::string& stream, std::string* listing) {
    e2e::WriteFile(Path("job.bin"), stream);
    mkdir(Path("decoded").c_str(), 0755);
    return apptest::Run({QV46_STREAM, "-o", Path("decoded"), Path("job.bin")}, listing);
  }
};

// PWG raster pages of the sample photo at the media size and 300 dpi across, as a client
// or CUPS would send them.
std::string PwgRaster(const std::string& path, int pages, const char* media, int yResolution) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
  cups_page_header2_t header;
  cupsRasterInitPWGHeader(&header, pwgMediaForPWG(media), "srgb_8", 300, yResolution, "one-sided",
                          nullptr);
  // As Ghostscript writes it; the filter prints no copy of a page that asks
  // for none.
  header.NumCopies = 1;
  for (int page = 0; page < pages; ++page) {
    const e2e::Rgb photo =
        e2e::SamplePhoto(static_cast<int>(header.cupsWidth), static_cast<int>(header.cupsHeight));
    cupsRasterWriteHeader2(raster, &header);
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
      std::vector<unsigned char> line(photo.pixels.begin() + y * header.cupsBytesPerLine,
                                      photo.pixels.begin() + (y + 1) * header.cupsBytesPerLine);
      // The second page differs from the first.
      if (page == 1) line[0] ^= 0xFF;
      cupsRasterWritePixels(raster, line.data(), header.cupsBytesPerLine);
    }
  }
  cupsRasterClose(raster);
  close(fd);
  return path;
}

struct FormatCase {
  const char* name;
  const char* format;
  int panels;
  const char* planeSize;
  int impressions;
};

class Formats : public PrinterApp, public testing::WithParamInterface<FormatCase> {};

TEST_P(Formats, PrintThroughThePipelineIntoThePrinter) {
  const FormatCase& c = GetParam();
  std::string document;
  if (std::string(c.format) == "application/pdf") {
    document = Path("two.pdf");
    // Two pages of 6 x 4 in pair on the loaded 6 x 8 in media.
    const std::string page = e2e::TwoColourPdf(432, 288);
    e2e::WriteFile(document, page);
  } else {
    document = Photo(c.name);
  }
  const size_t before = app_.Captured();
  const int job = app_.Print(document, c.format);
  ASSERT_GT(job, 0);
  EXPECT_EQ("completed", app_.WaitForJob(job).substr(0, 9));
  std::string listing;
  ASSERT_EQ(0, Decode(app_.JobStreamSince(before), &listing)) << listing;
  EXPECT_NE(std::string::npos, listing.find(std::to_string(c.panels) + " panels")) << listing;
  EXPECT_NE(std::string::npos, listing.find(c.planeSize)) << listing;
  EXPECT_NE(std::string::npos, listing.find("CNTRL  START")) << listing;
  const std::string attrs =
      app_.Ipp("Get-Job-Attributes", {"integer job-id " + std::to_string(job),
                                      "keyword requested-attributes job-impressions-completed"});
  EXPECT_NE(
      std::string::npos,
      attrs.find("job-impressions-completed (integer) = " + std::to_string(c.impressions) + "\n"))
      << attrs;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, Formats,
    testing::Values(FormatCase{"photo.jpg", "image/jpeg", 1, "1920x1240", 1},
                    FormatCase{"photo.png", "image/png", 1, "1920x1240", 1},
                    FormatCase{"pdf", "application/pdf", 1, "1920x1240", 1}),
    [](const testing::TestParamInfo<FormatCase>& info) {
      return std::string(info.param.format).substr(std::string(info.param.format).find('/') + 1);
    });

struct IdentityCase {
  const char* name;
  int pages;
  const char* media;    // as the app is asked
  int quality;          // print-quality: 3 draft 300x300, 4 normal 300x600 dpi
  const char* options;  // as the classic queue passes them
};

class Identity : public PrinterApp, public testing::WithParamInterface<IdentityCase> {};

TEST_P(Identity, PwgRasterGivesTheFiltersStreamByteForByte) {
  const IdentityCase& c = GetParam();
  const std::string raster =
      PwgRaster(Path("pages.pwg"), c.pages, c.media, c.quality == 3 ? 300 : 600);
  const size_t before = app_.Captured();
  const int job = app_.Print(
      raster, "image/pwg-raster",
      {std::string("keyword media ") + c.media, "enum print-quality " + std::to_string(c.quality)});
  ASSERT_GT(job, 0);
  ASSERT_EQ("completed", app_.WaitForJob(job).substr(0, 9));

  // The classic queue: the same settings, and the printer's answers.
  const std::string filtered = apptest::ClassicStream(raster, c.options);
  ASSERT_FALSE(filtered.empty());
  EXPECT_TRUE(filtered == app_.JobStreamSince(before));

  // That stream sent as it is passes through unchanged.
  e2e::WriteFile(Path("job.qv46"), filtered);
  const size_t rawStart = app_.Captured();
  const int raw = app_.Print(Path("job.qv46"), "application/vnd.valdren.qv46");
  ASSERT_EQ("completed", app_.WaitForJob(raw).substr(0, 9));
  EXPECT_TRUE(filtered == app_.JobStreamSince(rawStart));
}

INSTANTIATE_TEST_SUITE_P(
    Pages, Identity,
    testing::Values(IdentityCase{"OnePage", 1, "na_index-4x6_4x6in", 3,
                                 "PageSize=102x153mm Resolution=300x300dpi"},
                    IdentityCase{"TwoPagesOnOnePanel", 2, "na_index-4x6_4x6in", 3,
                                 "PageSize=102x153mm Resolution=300x300dpi"},
                    IdentityCase{"PortraitTurnedAsTheClassicQueueTurnsIt", 1, "na_index-4x6_4x6in",
                                 4, "PageSize=102x153mm Resolution=300x600dpi"}),
    [](const testing::TestParamInfo<IdentityCase>& info) { return info.param.name; });

struct StatusCase {
  const char* name;
  const char* query;  // key and value for qv46-sim
  const char* attribute;
  const char* expected;
};

class Status : public PrinterApp, public testing::WithParamInterface<StatusCase> {
 protected:
  void SetUp() override {
    app_.ReadOften();
    PrinterApp::SetUp();
  }
};

TEST_P(Status, PrinterStateReachesIpp) {
  const StatusCase& c = GetParam();
  ASSERT_TRUE(app_.Sim("set", c.query));
  std::string value;
  EXPECT_TRUE(e2e::Eventually(
      [&] {
        value = app_.PrinterAttribute(c.attribute);
        return value == c.expected;
      },
      15000))
      << c.attribute << " = " << value;
}

// A printer that cannot print is stopped: PAPPL adds "paused" to every
// stopped printer, and "hold-new-jobs" while the app holds the jobs that
// arrive until it can print again.
INSTANTIATE_TEST_SUITE_P(
    Readings, Status,
    testing::Values(StatusCase{"DoorOpen", "STATUS 01000", "printer-state-reasons",
                               "cover-open,paused,hold-new-jobs"},
                    StatusCase{"PaperEnd", "STATUS 01100", "printer-state-reasons",
                               "media-empty,paused,hold-new-jobs"},
                    StatusCase{"RibbonEnd", "STATUS 01200", "printer-state-reasons",
                               "marker-supply-empty,paused,hold-new-jobs"},
                    StatusCase{"PaperJam", "STATUS 01300", "printer-state-reasons",
                               "media-jam,paused,hold-new-jobs"},
                    StatusCase{"SystemError", "STATUS 02600", "printer-state-reasons",
                               "other,paused,hold-new-jobs"},
                    StatusCase{"GarbledStatus", "STATUS ABCDE", "printer-state-reasons",
                               "offline,paused,hold-new-jobs"},
                    // The simulator's prints per roll carry letters before the number.
                    StatusCase{"FewPrintsLeft", "INFO MQTY 00000005", "printer-state-reasons",
                               "marker-supply-low"},
                    StatusCase{"FewPrintsLeftAfterLetters", "INFO MQTY MQTY0005",
                               "printer-state-reasons", "marker-supply-low"},
                    StatusCase{"PrintsLeft", "INFO MQTY MQTY0005", "marker-levels", "10"},
                    StatusCase{"LoadedStock", "INFO MEDIA MS00400", "media-ready", "na_6x9_6x9in"}),
    [](const testing::TestParamInfo<StatusCase>& info) { return info.param.name; });

TEST_F(PrinterApp, WebStatusPageWordsThePrinterAsTheMonitorDoes) {
  ASSERT_TRUE(app_.Sim("set", "STATUS 01100"));
  std::string page;
  EXPECT_TRUE(e2e::Eventually(
      [&] {
        apptest::Run({"curl", "-s", app_.WebUrl("/VALDREN-QV-46/qv46-status")}, &page);
        return page.find("Paper end") != std::string::npos;
      },
      15000))
      << page;
  EXPECT_NE(std::string::npos, page.find("Load new media.")) << page;
  EXPECT_NE(std::string::npos, page.find(app_.Serial())) << page;
  // The printer still counts the roll it ran out of; none of it is left.
  EXPECT_NE(std::string::npos, page.find("6x8in")) << page;
  EXPECT_NE(std::string::npos, page.find("<span class=\"qv46-prints\">0 / 50</span>")) << page;
  EXPECT_NE(std::string::npos, page.find("<td>123</td>")) << page;

  // In the browser's language, with the monitor's words.
  const std::pair<const char*, const char*> languages[] = {
      {"ja", "用紙切れ"}, {"zh", "纸张用完"}, {"de", "Papierende"}};
  for (const auto& [language, expected] : languages) {
    apptest::Run({"curl", "-s", "-H", std::string("Accept-Language: ") + language,
                  app_.WebUrl("/VALDREN-QV-46/qv46-status")},
                 &page);
    EXPECT_NE(std::string::npos, page.find(expected)) << language << ": " << page;
  }
}

// PAPPL's own words on its pages, in the browser's language: PAPPL carries
// de, es, fr and ja, the app adds zh (a regional tag falls back to it).
TEST_F(PrinterApp, SystemPageSpeaksTheBrowsersLanguage) {
  const std::pair<const char*, const char*> languages[] = {
      {"zh-CN", "打印机"},  {"zh", "打印机"},      {"de", "Drucker"},
      {"es", "Impresoras"}, {"fr", "Imprimantes"}, {"ja", "プリンター"}};
  for (const auto& [language, printers] : languages) {
    std::string page;
    EXPECT_EQ(0, apptest::Run({"curl", "-s", "-H", std::string("Accept-Language: ") + language,
                               app_.WebUrl("/")},
                              &page));
    EXPECT_NE(std::string::npos,
              page.find(std::string("<h1 class=\"title\">") + printers + "</h1>"))
        << language << ": " << page;
  }
}

// The words of the printer's pages that PAPPL's catalogues lack and the
// app's own, in the browser's language, after one job.
struct PageWordsCase {
  const char* language;
  const char* owner;
  const char* pagesCompleted;  // jobs page
  const char* standard;        // printing defaults: the standard look
  const char* statusLink;      // every printer page
  const char* supply;          // supplies page
  const char* supplies;        // its title and link
};

class PageWords : public PrinterApp, public testing::WithParamInterface<PageWordsCase> {};

TEST_P(PageWords, AreTranslated) {
  const PageWordsCase& c = GetParam();
  ASSERT_EQ("completed", app_.WaitForJob(app_.Print(Photo("photo.png"), "image/png")).substr(0, 9));
  std::string pages;
  // The jobs and printing pages are the administrator's.
  for (const char* page : {"/", "/jobs", "/printing", "/supplies"}) {
    std::string html;
    apptest::Run({"curl", "-s", "-u", AppUnderTest::AdminLogin(), "-H",
                  std::string("Accept-Language: ") + c.language,
                  app_.WebUrl(std::string("/VALDREN-QV-46") + page)},
                 &html);
    pages += html;
  }
  for (const std::string& word :
       {"<th>" + std::string(c.owner), "<th>" + std::string(c.pagesCompleted),
        std::string(c.standard) + "</label>", std::string(c.statusLink) + "</",
        "<th>" + std::string(c.supply) + "</th>", ">" + std::string(c.supplies) + "</h1>",
        ">" + std::string(c.supplies) + "</a>"})
    EXPECT_NE(std::string::npos, pages.find(word)) << c.language << ": " << word;
  for (const char* english :
       {"<th>Owner", "Pages Completed", "> Draft<", ">QV-46 Status<", "Ribbon and paper"})
    EXPECT_EQ(std::string::npos, pages.find(english)) << c.language << ": " << english;
}

INSTANTIATE_TEST_SUITE_P(
    Languages, PageWords,
    testing::Values(
        PageWordsCase{"de", "Eigentümer", "Gedruckte Seiten", "Standard (300 x 300 dpi)",
                      "QV-46-Status", "Farbband und Papier", "Verbrauchsmaterial"},
        PageWordsCase{"es", "Propietario", "Páginas impresas", "Estándar (300 x 300 ppp)",
                      "Estado de la QV-46", "Cinta y papel", "Consumibles"},
        PageWordsCase{"fr", "Propriétaire", "Pages imprimées", "Standard (300 x 300 ppp)",
                      "Statut de la QV-46", "Ruban et papier", "Consommables"},
        PageWordsCase{"ja", "所有者", "印刷済みページ", "標準（300 x 300 dpi）", "QV-46 の状態",
                      "リボンと用紙", "消耗品"},
        PageWordsCase{"zh-CN", "所有者", "已打印页数", "标准（300 x 300 dpi）", "QV-46 状态",
                      "色带和纸张", "耗材"}),
    [](const testing::TestParamInfo<PageWordsCase>& info) {
      return std::string(info.param.language).substr(0, 2);
    });

// Names of the attributes in the reply ipptool shows, in order.
std::vector<std::string> ReplyAttributeNames(const std::string& out) {
  std::vector<std::string> names;
  const size_t reply = out.find("status-code = ");
  std::istringstream lines(reply == std::string::npos ? "" : out.substr(reply));
  const std::regex attribute("^\\s+([a-z0-9-]+) \\(");
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, match, attribute)) names.push_back(match[1]);
  }
  return names;
}

TEST_F(PrinterApp, PrinterAttributesAreTheSameFromRequestToRequest) {
  // No requested-attributes: every attribute the printer has.
  const std::vector<std::string> first =
      ReplyAttributeNames(app_.Ipp("Get-Printer-Attributes", {}));
  ASSERT_GT(first.size(), 100u);
  std::vector<std::string> third;
  for (int request = 0; request < 2; ++request)
    third = ReplyAttributeNames(app_.Ipp("Get-Printer-Attributes", {}));
  EXPECT_EQ(first, third);
  std::vector<std::string> sorted = third;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted.end(), std::adjacent_find(sorted.begin(), sorted.end()));
}

// Other computers get the names of the vendor options in every language the
// app has: each language listed once, on every request alike, and the file
// the printer names served in the language asked for (English when none is).
TEST_F(PrinterApp, StringsFileServesEveryLanguage) {
  for (int request = 0; request < 3; ++request) {
    EXPECT_EQ("de,en,es,fr,ja,zh", app_.PrinterAttribute("printer-strings-languages-supported"))
        << request;
  }
  const std::string uri = app_.PrinterAttribute("printer-strings-uri");
  ASSERT_FALSE(uri.empty());
  const std::pair<const char*, const char*> finishes[] = {
      {"", "Finish"},     {"en", "Finish"}, {"de", "Oberfläche"}, {"es", "Acabado"},
      {"fr", "Finition"}, {"ja", "仕上げ"}, {"zh-CN", "表面处理"}};
  for (const auto& [language, finish] : finishes) {
    std::vector<std::string> curl = {"curl", "-sf"};
    if (language[0] != '\0')
      curl.insert(curl.end(), {"-H", std::string("Accept-Language: ") + language});
    curl.push_back(uri);
    std::string strings;
    EXPECT_EQ(0, apptest::Run(curl, &strings)) << uri;
    EXPECT_NE(std::string::npos,
              strings.find(std::string("\"overcoat-finish\" = \"") + finish + "\";"))
        << language << ": " << strings;
  }
}

// The printing defaults page sets the look and the vendor defaults the way
// IPP reports them, and keeps them when a number is out of its range.
struct DefaultsCase {
  const char* name;
  const char* form;  // fields after the session's
  const char* banner;
  const char* quality;    // print-quality-default afterwards
  const char* sharpness;  // sharpness-default afterwards
  const char* border;     // border-default afterwards
};

class Defaults : public PrinterApp, public testing::WithParamInterface<DefaultsCase> {};

TEST_P(Defaults, SaveWhatTheFormSays) {
  const DefaultsCase& c = GetParam();
  const std::string url = app_.WebUrl("/VALDREN-QV-46/printing");
  std::string page;
  ASSERT_EQ(0, apptest::Run({"curl", "-s", "-u", AppUnderTest::AdminLogin(), url}, &page));
  std::smatch session;
  ASSERT_TRUE(
      std::regex_search(page, session, std::regex("name=\"session\" value=\"([0-9a-f]+)\"")))
      << page;
  // A range is shown with its input.
  EXPECT_NE(std::string::npos, page.find("min=\"-2\" max=\"8\""));
  ASSERT_EQ(0, apptest::Run({"curl", "-s", "-u", AppUnderTest::AdminLogin(), "-d",
                             "session=" + session[1].str() + "&" + c.form, url},
                            &page));
  EXPECT_NE(std::string::npos, page.find(std::string("<div class=\"banner\">") + c.banner)) << page;
  EXPECT_EQ(c.quality, app_.PrinterAttribute("print-quality-default"));
  EXPECT_EQ(c.sharpness, app_.PrinterAttribute("sharpness-default"));
  EXPECT_EQ(c.border, app_.PrinterAttribute("border-default"));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Defaults,
    testing::Values(DefaultsCase{"FineLookAndSharper", "print-quality=normal&sharpness=5",
                                 "Changes saved.", "normal", "5", "false"},
                    DefaultsCase{"StandardLookWithBorder",
                                 "print-quality=draft&sharpness=0&border=on", "Changes saved.",
                                 "draft", "0", "true"},
                    DefaultsCase{"OutOfRangeKeepsEverything", "print-quality=normal&sharpness=9",
                                 "These values are not allowed.", "draft", "0", "false"},
                    DefaultsCase{"NotANumber", "sharpness=5x", "These values are not allowed.",
                                 "draft", "0", "false"}),
    [](const testing::TestParamInfo<DefaultsCase>& info) { return info.param.name; });

// The pages an administrator needs lead to the login first and say what it
// wants; nothing answers with a bare status line, and the login only leads
// to pages of this server.
struct LoginCase {
  const char* name;
  const char* user;  // "" for no login
  const char* path;
  int status;
  const char* location;  // the redirect's end, or a text of the page
};

class Login : public PrinterApp, public testing::WithParamInterface<LoginCase> {};

TEST_P(Login, LeadsToThePageOrSaysWhy) {
  const LoginCase& c = GetParam();
  std::vector<std::string> curl = {
      "curl", "-s", "-o", Path("body.html"), "-w", "%{http_code} %{redirect_url}"};
  if (c.user[0] != '\0')
    curl.insert(curl.end(), {"-u", std::string(c.user) + ":" + AppUnderTest::kPassword});
  curl.push_back(app_.WebUrl(c.path));
  std::string out;
  ASSERT_EQ(0, apptest::Run(curl, &out));
  EXPECT_EQ(c.status, std::atoi(out.c_str())) << out;
  if (c.status == 302) {
    EXPECT_EQ(app_.WebUrl(c.location), out.substr(out.find(' ') + 1));
  } else {
    const std::string body = e2e::ReadFile(Path("body.html"));
    EXPECT_NE(std::string::npos, body.find(c.location)) << body;
    EXPECT_NE(std::string::npos, body.find("</html>")) << body;
  }
}

constexpr char kForAdmins[] = "This page is for administrators.";

INSTANTIATE_TEST_SUITE_P(
    Pages, Login,
    testing::Values(
        LoginCase{"AskedFor", "", "/qv46-login?next=/VALDREN-QV-46/jobs", 401, kForAdmins},
        LoginCase{"GoesOn", AppUnderTest::kAdmin, "/qv46-login?next=/VALDREN-QV-46/jobs", 302,
                  "/VALDREN-QV-46/jobs"},
        LoginCase{"NotAnAdministrator", AppUnderTest::kOutsider,
                  "/qv46-login?next=/VALDREN-QV-46/jobs", 401, "not an administrator's"},
        LoginCase{"NoOtherServer", AppUnderTest::kAdmin, "/qv46-login?next=//example.com/", 302,
                  "/"},
        LoginCase{"NoServerHiddenByATab", AppUnderTest::kAdmin,
                  "/qv46-login?next=/%09/example.com/", 302, "/"},
        LoginCase{"DefaultsAskForIt", "", "/VALDREN-QV-46/printing", 401, kForAdmins}),
    [](const testing::TestParamInfo<LoginCase>& info) { return info.param.name; });

// The icons printer-icons names and the web pages' own are the monitor's art.
TEST_F(PrinterApp, IconsAreTheMonitorsArt) {
  std::vector<std::pair<std::string, const char*>> icons;
  std::istringstream uris(app_.PrinterAttribute("printer-icons"));
  for (const char* file : {"printer_icon_48.png", "printer_icon_128.png", "printer_icon.png"}) {
    std::string uri;
    std::getline(uris, uri, ',');
    icons.emplace_back(uri, file);
  }
  icons.emplace_back(app_.WebUrl("/favicon.png"), "printer_icon_128.png");
  icons.emplace_back(app_.WebUrl("/navicon.png"), "printer_icon_48.png");
  for (const auto& [uri, file] : icons) {
    std::string icon;
    EXPECT_EQ(0, apptest::Run({"curl", "-sf", uri}, &icon)) << uri;
    const std::string art = e2e::ReadFile(std::string(QV46_APP_ICONS) + "/" + file);
    EXPECT_FALSE(art.empty()) << file;
    EXPECT_TRUE(icon == art) << uri << " is not " << file;
  }
}

// The second printer's serial holds "%zz", no escape, and "#", which would
// start a fragment: its device URI carries them encoded, so PAPPL opens it
// and the job reaches it.
TEST_F(PrinterApp, PrintersArriveWithTheirOwnNameAndId) {
  EXPECT_EQ("1", app_.PrinterAttribute("printer-id"));
  const std::string second = "VALDREN-QV-46-2";
  ASSERT_TRUE(app_.SimPlug(app_.Serial() + "%zz#"));
  std::string id;
  EXPECT_TRUE(e2e::Eventually(
      [&] { return (id = app_.PrinterAttribute("printer-id", second)) == "2"; }, 15000))
      << id;
  EXPECT_TRUE(e2e::Eventually(
      [&] { return app_.PrinterAttribute("printer-state-reasons", second) == "none"; }, 15000));

  const size_t before = app_.Captured();
  std::smatch job;
  const std::string out = app_.Ipp("Print-Job", {}, {}, Photo("photo.png"), "image/png", second);
  ASSERT_TRUE(std::regex_search(out, job, std::regex("job-id \\(integer\\) = ([0-9]+)"))) << out;
  std::string state;
  EXPECT_TRUE(e2e::Eventually(
      [&] {
        state =
            app_.Ipp("Get-Job-Attributes", {"integer job-id " + job[1].str()}, {}, "", "", second);
        return state.find("job-state (enum) = completed") != std::string::npos;
      },
      60000))
      << state;
  EXPECT_NE(std::string::npos, app_.JobStreamSince(before).find("\x1bPCNTRL START"));
}

// A spool without room for a photo turns jobs away before it takes their
// bytes and says why; with room again the printer takes them.
TEST_F(PrinterApp, AFullSpoolRefusesJobsAndSaysSo) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small spool needs root";
  ASSERT_EQ(0, app_.StopApp(SIGTERM, 30000));
  const std::string spool = Path("spool");
  ASSERT_EQ(0, mount("tmpfs", spool.c_str(), "tmpfs", 0, "size=80m,mode=0700"));
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{spool};
  const std::string filler = spool + "/filler";
  ASSERT_TRUE(e2e::WriteFile(filler, std::string(40 << 20, 'x')));
  std::string error;
  ASSERT_TRUE(app_.StartApp(&error)) << error << e2e::ReadFile(app_.LogPath());

  EXPECT_TRUE(e2e::Eventually(
      [&] { return app_.PrinterAttribute("printer-is-accepting-jobs") == "false"; }, 15000));
  EXPECT_NE(std::string::npos,
            app_.PrinterAttribute("printer-state-reasons").find("spool-area-full"));
  EXPECT_EQ(-1, app_.Print(Photo("photo.png"), "image/png"));
  EXPECT_NE(std::string::npos, e2e::ReadFile(app_.LogPath()).find("MB free, less than the 64 MB"));

  ASSERT_EQ(0, unlink(filler.c_str()));
  EXPECT_TRUE(e2e::Eventually(
      [&] { return app_.PrinterAttribute("printer-is-accepting-jobs") == "true"; }, 15000));
  EXPECT_EQ(std::string::npos,
            app_.PrinterAttribute("printer-state-reasons").find("spool-area-full"));
  const int job = app_.Print(Photo("photo.png"), "image/png");
  ASSERT_GT(job, 0);
  EXPECT_EQ("completed", app_.WaitForJob(job).substr(0, 9));
  EXPECT_EQ(0, app_.StopApp(SIGTERM, 30000));  // before the spool goes
}

struct VendorCase {
  const char* name;
  const char* printerDefault;  // set with Set-Printer-Attributes, or null
  const char* jobAttribute;    // or null
  const char* packet;          // in the job stream's listing
};

class VendorOptions : public PrinterApp, public testing::WithParamInterface<VendorCase> {};

TEST_P(VendorOptions, ReachTheJobStreamPerJobAndAsPrinterDefaults) {
  const VendorCase& c = GetParam();
  if (c.printerDefault != nullptr) {
    app_.LogIn(AppUnderTest::kAdmin, AppUnderTest::kPassword);
    ASSERT_FALSE(app_.Ipp("Set-Printer-Attributes", {}, {c.printerDefault}).empty());
  }
  std::vector<std::string> attrs;
  if (c.jobAttribute != nullptr) attrs.push_back(c.jobAttribute);
  const size_t before = app_.Captured();
  const int job = app_.Print(Photo("photo.png"), "image/png", attrs);
  ASSERT_EQ("completed", app_.WaitForJob(job).substr(0, 9));
  std::string listing;
  ASSERT_EQ(0, Decode(app_.JobStreamSince(before), &listing)) << listing;
  EXPECT_NE(std::string::npos, listing.find(c.packet)) << listing;
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, VendorOptions,
    testing::Values(
        VendorCase{"DefaultsAsThePpd", nullptr, nullptr, "OVERCOAT                8  \"00000000\""},
        VendorCase{"PerJob", nullptr, "keyword overcoat-finish luster",
                   "OVERCOAT                8  \"00000022\""},
        VendorCase{"PrinterDefault", "keyword overcoat-finish-default matte", nullptr,
                   "OVERCOAT                8  \"00000001\""},
        VendorCase{"JobOverPrinterDefault", "boolean print-retry-default false",
                   "boolean print-retry true", "BUFFCNTRL               8  \"00000001\""}),
    [](const testing::TestParamInfo<VendorCase>& info) { return info.param.name; });

TEST_F(PrinterApp, SecondServerOnThePortExitsWithAnError) {
  const std::string spool = Path("second");
  mkdir(spool.c_str(), 0700);
  EXPECT_NE(0, apptest::Run({QV46_PRINTER_APP, "server", "-o",
                             "server-port=" + std::to_string(app_.Port()), "-o",
                             "spool-directory=" + spool, "-o", "log-file=" + spool + "/log"}));
  EXPECT_FALSE(app_.PrinterAttribute("printer-state").empty());
}

TEST_F(PrinterApp, AddPrinterPageWithoutAvahiKeepsTheAppServing) {
  if (access("/run/avahi-daemon/socket", F_OK) == 0) GTEST_SKIP() << "avahi-daemon runs here";
  std::string page;
  EXPECT_EQ(0, apptest::Run({"curl", "-s", app_.WebUrl("/addprinter")}, &page));
  EXPECT_NE(std::string::npos, page.find("added when they are plugged in")) << page;
  EXPECT_FALSE(app_.PrinterAttribute("printer-state").empty());
}

TEST_F(PrinterApp, UnpluggedPrinterGoesOfflineAndPrintsWhatWaitedOnReturn) {
  ASSERT_TRUE(app_.Sim("unplug"));
  EXPECT_TRUE(e2e::Eventually(
      [&] {
        return app_.PrinterAttribute("printer-state-reasons") == "offline,paused,hold-new-jobs";
      },
      15000));
  EXPECT_EQ("stopped", app_.PrinterAttribute("printer-state"));
  const size_t before = app_.Captured();
  const int job = app_.Print(Photo("photo.jpg"), "image/jpeg");
  ASSERT_GT(job, 0);
  // Held, not started: nothing is sent to a printer that is away.
  EXPECT_EQ("pending-held", app_.JobState(job).substr(0, 12));

  ASSERT_TRUE(app_.Sim("plug"));
  EXPECT_EQ("completed", app_.WaitForJob(job).substr(0, 9));
  std::string listing;
  EXPECT_EQ(0, Decode(app_.JobStreamSince(before), &listing)) << listing;
  EXPECT_NE(std::string::npos, listing.find("1 panels")) << listing;
  EXPECT_TRUE(e2e::Eventually(
      [&] { return app_.PrinterAttribute("printer-state-reasons") == "none"; }, 15000));
}

class Interrupted : public PrinterApp, public testing::WithParamInterface<const char*> {};

TEST_P(Interrupted, WhileSendingEndsTheJobAndTheNextPrintsWhole) {
  const std::string how = GetParam();
  const std::string photo = Photo("photo.jpg");
  size_t before = app_.Captured();
  const int job = app_.Print(photo, "image/jpeg");
  ASSERT_GT(job, 0);
  ASSERT_TRUE(e2e::Eventually([&] { return app_.Captured() > before + 100000; }, 30000));
  if (how == "unplug") {
    ASSERT_TRUE(app_.Sim("unplug"));
  } else {
    ASSERT_FALSE(app_.Ipp("Cancel-Job", {"integer job-id " + std::to_string(job)}).empty());
  }
  // A cancel lets the panel under way finish; nothing follows it. A printer
  // that comes back gets the cut job again, whole.
  std::string listing;
  if (how == "cancel") {
    const std::string state = app_.WaitForJob(job);
    EXPECT_TRUE(state.rfind("aborted", 0) == 0 || state.rfind("canceled", 0) == 0) << state;
    EXPECT_EQ(0, Decode(app_.JobStreamSince(before), &listing)) << listing;
  } else {
    ASSERT_TRUE(app_.Sim("plug"));
    EXPECT_EQ("completed", app_.WaitForJob(job).substr(0, 9));
  }

  before = app_.Captured();
  const int next = app_.Print(photo, "image/jpeg");
  EXPECT_EQ("completed", app_.WaitForJob(next).substr(0, 9));
  EXPECT_EQ(0, Decode(app_.JobStreamSince(before), &listing)) << listing;
  EXPECT_NE(std::string::npos, listing.find("1 panels")) << listing;
  // The interrupted job is not sent again: one START after the replug.
  const std::string received = app_.ReceivedSince(before);
  size_t starts = 0;
  for (size_t at = 0; (at = received.find("\x1bPCNTRL START", at)) != std::string::npos; ++at)
    ++starts;
  EXPECT_EQ(1u, starts);
}

INSTANTIATE_TEST_SUITE_P(Jobs, Interrupted, testing::Values("unplug", "cancel"));

TEST_F(PrinterApp, DamagedDocumentsAbortTheirJobAndTheNextPrints) {
  const struct {
    const char* name;
    const char* format;
    std::string bytes;
  } cases[] = {
      {"bad.jpg", "image/jpeg", std::string("\xFF\xD8\xFF\xE0", 4) + std::string(200, 'x')},
      {"bad.png", "image/png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, 'x')},
      {"bad.pdf", "application/pdf", "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\ngarbage\n"},
      {"bad.qv46", "application/vnd.valdren.qv46", "\x1bPCNTRL START           0000009"},
  };
  for (const auto& c : cases) {
    e2e::WriteFile(Path(c.name), c.bytes);
    const size_t before = app_.Captured();
    const int job = app_.Print(Path(c.name), c.format);
    ASSERT_GT(job, 0) << c.name;
    const std::string state = app_.WaitForJob(job);
    EXPECT_EQ("aborted", state.substr(0, 7)) << c.name;
    EXPECT_GT(state.size(), 8u) << c.name << ": no message";
    EXPECT_EQ(std::string(), app_.JobStreamSince(before)) << c.name;
  }
  const int job = app_.Print(Photo("photo.png"), "image/png");
  EXPECT_EQ("completed", app_.WaitForJob(job).substr(0, 9));
}

}  // namespace
