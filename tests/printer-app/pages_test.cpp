// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Every web page the app serves for its printer, in each of its languages,
// with the simulated printer in each state, held to the glossary
// (printer-app/strings/glossary.tsv): no word it forbids, no English left on
// another language's page, no doubled full stop, and on the pages that show
// the state the monitor's picture, word and instruction and the prints left
// as numbers.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AppUnderTest.h"
#include "PrintSystem.h"
#include "TestImages.h"

using apptest::AppUnderTest;

namespace {

const std::string kStrings = std::string(QV46_SOURCE_DIR) + "/printer-app/strings/";

struct Glossary {
  // key -> text by language (en de es fr ja zh)
  std::map<std::string, std::map<std::string, std::string>> words;
  // language ("*" for all) -> texts no page may show
  std::multimap<std::string, std::string> avoid;
};

const char* const kLanguages[] = {"en", "de", "es", "fr", "ja", "zh"};

Glossary ReadGlossary() {
  Glossary glossary;
  std::ifstream in(kStrings + "glossary.tsv");
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream row(line);
    for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
    if (fields.size() == 8 && fields[0] == "word") {
      for (size_t i = 0; i < 6; ++i) glossary.words[fields[1]][kLanguages[i]] = fields[2 + i];
    } else if (fields.size() >= 3 && fields[0] == "avoid") {
      glossary.avoid.emplace(fields[1], fields[2]);
    }
  }
  return glossary;
}

// The app's catalogue for `language` (the monitor's words among them), as
// the strings files it is built from say.
std::map<std::string, std::string> Catalogue(const std::string& language) {
  std::map<std::string, std::string> texts;
  const std::regex pair("^\"((?:[^\"\\\\]|\\\\.)*)\" = \"((?:[^\"\\\\]|\\\\.)*)\";$");
  std::istringstream lines(e2e::ReadFile(kStrings + language + ".strings"));
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, match, pair)) texts[match[1]] = match[2];
  }
  return texts;
}

std::string Localized(const std::map<std::string, std::string>& catalogue, const std::string& key) {
  const auto found = catalogue.find(key);
  return found != catalogue.end() ? found->second : key;
}

// The page's text as a reader sees it: entities back to characters.
std::string Unescaped(std::string html) {
  const std::pair<const char*, const char*> entities[] = {
      {"&quot;", "\""}, {"&#39;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}};
  for (const auto& [entity, character] : entities) {
    for (size_t at = html.find(entity); at != std::string::npos; at = html.find(entity, at))
      html.replace(at, std::strlen(entity), character);
  }
  return html;
}

struct Page {
  const char* path;  // under the printer's, or the server's when it starts with "//"
  bool showsState;   // the state's picture, word, instruction and prints left
  bool admin;        // fetched with the administrator's login
  bool saysUsedUp;   // the state's word and instruction once no print is left
  bool asksLogin;    // an administrator's page fetched without a login
};

const Page kPages[] = {
    {"//", true, false, true, false},
    {"/", true, false, true, false},
    {"/qv46-status", true, false, true, false},
    {"/supplies", false, false, true, false},
    {"/jobs", false, true, false, false},
    {"/media", false, true, false, false},
    {"/printing", false, true, false, false},
    {"/config", false, true, false, false},
    {"//config", false, true, false, false},
    {"/delete", false, true, false, false},
    {"/cancelall", false, true, false, false},
    // PAPPL's pages and the app's alike say who they are for and lead to
    // the login, never a bare "401 - Unauthorized".
    {"/jobs", false, false, false, true},
    {"/printing", false, false, false, true},
    {"/config", false, false, false, true},
    {"/delete", false, false, false, true},
    {"/cancelall", false, false, false, true},
    {"//config", false, false, false, true},
};

struct StateCase {
  const char* name;
  std::vector<const char*> simLines;  // "KEY... VALUE" for qv46-sim's set
  const char* reason;                 // printer-state-reasons once the app has read it
  const char* word;                   // the monitor's English for the state
  const char* instruction;            // "" for none
  const char* picture;
  const char* printsLeft;  // "left / per roll"
  bool warning;            // few prints left
  bool usedUp;             // no print left: the roll must be replaced
};

class Pages : public apptest::AppTest, public testing::WithParamInterface<StateCase> {};

TEST_P(Pages, SpeakTheGlossarysWordsAndShowTheState) {
  const StateCase& state = GetParam();
  // One job first, so that the jobs tables have a row and no job is under
  // way while the pages are read; without a name, PAPPL calls it "Untitled".
  const std::string photo = Path("photo.png");
  ASSERT_TRUE(e2e::WritePng(photo, e2e::SamplePhoto(600, 400)));
  std::smatch job;
  const std::string reply = app_.Ipp("Print-Job", {}, {}, photo, "image/png");
  ASSERT_TRUE(std::regex_search(reply, job, std::regex("job-id \\(integer\\) = ([0-9]+)")));
  ASSERT_EQ("completed", app_.WaitForJob(std::stoi(job[1])).substr(0, 9));
  for (const char* line : state.simLines) ASSERT_TRUE(app_.Sim("set", line));
  std::string reasons;
  ASSERT_TRUE(e2e::Eventually(
      [&] {
        reasons = app_.PrinterAttribute("printer-state-reasons");
        // A printer that cannot print is stopped too (paused, jobs held).
        return reasons == state.reason || reasons.rfind(std::string(state.reason) + ",", 0) == 0;
      },
      15000))
      << reasons;
  const Glossary glossary = ReadGlossary();
  // Alternatives, not a bracket: the regex sees a UTF-8 "。" as three bytes.
  const std::regex doubled("(^|[^.])\\.\\.([^.]|$)|。(\\.|。)|\\.。");
  for (const char* language : kLanguages) {
    const std::map<std::string, std::string> catalogue = Catalogue(language);
    for (const Page& page : kPages) {
      const std::string path = page.path[1] == '/' ? std::string(page.path + 1)
                                                   : "/VALDREN-QV-46" + std::string(page.path);
      SCOPED_TRACE(std::string(language) + " " + path);
      std::vector<std::string> curl = {"curl", "-s", "-H",
                                       std::string("Accept-Language: ") + language};
      if (page.admin) curl.insert(curl.end(), {"-u", AppUnderTest::AdminLogin()});
      curl.push_back(app_.WebUrl(path));
      std::string html;
      ASSERT_EQ(0, apptest::Run(curl, &html));
      const std::string text = Unescaped(html);
      ASSERT_NE(std::string::npos, text.find("</html>")) << text;
      // Words are what a reader sees: addresses are no words, and PAPPL's
      // orientation pictures keep English alt texts on its defaults page.
      const std::string words =
          std::regex_replace(text, std::regex("(src|href|action|summary|alt)=\"[^\"]*\""), "");
      for (const auto& [which, avoided] : glossary.avoid) {
        if (which == "*" || which == language) {
          EXPECT_EQ(std::string::npos, words.find(avoided)) << avoided;
        }
      }
      for (const auto& [key, texts] : glossary.words) {
        const std::string& english = texts.at("en");
        if (texts.at(language) == english) continue;
        EXPECT_EQ(std::string::npos, words.find(">" + english + "<")) << english;
        EXPECT_EQ(std::string::npos, words.find("\"" + english + "\"")) << english;
      }
      EXPECT_FALSE(std::regex_search(text, doubled)) << text;
      if (page.asksLogin) {
        const std::string& wanted =
            glossary.words
                .at("This page is for administrators. Log in with the name and password of a "
                    "member of the printer administrators' group.")
                .at(language);
        EXPECT_NE(std::string::npos, text.find(wanted)) << text;
        EXPECT_NE(std::string::npos, text.find("href=\"/qv46-login?next=" + path + "\"")) << text;
      }
      if (page.saysUsedUp && state.usedUp) {
        EXPECT_NE(std::string::npos, text.find(">" + Localized(catalogue, state.word) + "<"))
            << Localized(catalogue, state.word);
        EXPECT_NE(std::string::npos, text.find(Localized(catalogue, state.instruction)))
            << Localized(catalogue, state.instruction);
      }
      if (!page.showsState) continue;
      EXPECT_NE(std::string::npos,
                text.find(std::string("/qv46-state/") + state.picture + ".png\""));
      EXPECT_NE(std::string::npos, text.find(">" + Localized(catalogue, state.word) + "<"))
          << Localized(catalogue, state.word);
      if (state.instruction[0] != '\0') {
        EXPECT_NE(std::string::npos, text.find(Localized(catalogue, state.instruction)))
            << Localized(catalogue, state.instruction);
      }
      EXPECT_NE(std::string::npos, text.find(glossary.words.at("Prints left").at(language)));
      EXPECT_NE(std::string::npos,
                text.find(std::string("<span class=\"qv46-prints\">") + state.printsLeft + "<"))
          << state.printsLeft;
      const std::string warning =
          glossary.words.at("Few prints left. Have a new set of paper and ribbon ready.")
              .at(language);
      EXPECT_EQ(state.warning, text.find(warning) != std::string::npos) << warning;
    }
  }
}

// The administrators' settings pages that are the app's own.
class Settings : public apptest::AppTest {};

// IPP offers the looks the defaults page offers and no other resolution:
// the printer prints standard 300 x 300 and fine 300 x 600 dpi, and a client
// asking for high quality gets the fine look (PAPPL takes the last one).
TEST_F(Settings, IppOffersTheDefaultsPagesLooksOnly) {
  std::string html;
  ASSERT_EQ(0, apptest::Run({"curl", "-s", "-u", AppUnderTest::AdminLogin(),
                             app_.WebUrl("/VALDREN-QV-46/printing")},
                            &html));
  std::set<std::string> looks;
  const std::regex look(
      "name=\"print-quality\" value=\"[a-z]+\"[^>]*> [^<(]*\\(([0-9]+) x ([0-9]+) dpi\\)");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), look); it != std::sregex_iterator();
       ++it)
    looks.insert((*it)[1].str() + "x" + (*it)[2].str() + "dpi");
  EXPECT_EQ((std::set<std::string>{"300x300dpi", "300x600dpi"}), looks) << html;
  for (const char* attribute :
       {"printer-resolution-supported", "pwg-raster-document-resolution-supported"}) {
    std::set<std::string> offered;
    std::istringstream values(app_.PrinterAttribute(attribute));
    // ipptool writes a square resolution once ("300dpi").
    for (std::string value; std::getline(values, value, ',');)
      offered.insert(value.find('x') == std::string::npos
                         ? value.substr(0, value.size() - 3) + "x" + value
                         : value);
    EXPECT_EQ(looks, offered) << attribute;
  }
}

// The printer's configuration form, the app's own: what it saves is what IPP
// clients are told, and empty position fields take the position away.
TEST_F(Settings, ConfigurationFormSavesWhatIppReports) {
  const std::string url = app_.WebUrl("/VALDREN-QV-46/config");
  std::string page;
  ASSERT_EQ(0, apptest::Run({"curl", "-s", "-u", AppUnderTest::AdminLogin(), url}, &page));
  std::smatch token;
  ASSERT_TRUE(std::regex_search(page, token, std::regex("name=\"session\" value=\"([0-9a-f]+)\"")))
      << page;
  const auto post = [&](std::vector<std::string> fields) {
    std::vector<std::string> curl = {"curl",
                                     "-s",
                                     "-u",
                                     AppUnderTest::AdminLogin(),
                                     "-H",
                                     "Accept-Language: de",
                                     "--data-urlencode",
                                     "session=" + token[1].str()};
    for (const std::string& field : fields) curl.insert(curl.end(), {"--data-urlencode", field});
    curl.push_back(url);
    std::string answer;
    EXPECT_EQ(0, apptest::Run(curl, &answer));
    return answer;
  };
  const std::string saved =
      post({"location=Stand 3 & 4", "geo_location_lat=48.1375", "geo_location_lon=-11.575",
            "contact_name=Ana", "contact_email=ana@example.org", "contact_telephone="});
  EXPECT_NE(std::string::npos, saved.find("Änderungen gespeichert.")) << saved;
  EXPECT_NE(std::string::npos, saved.find("value=\"Stand 3 &amp; 4\"")) << saved;
  EXPECT_NE(std::string::npos, saved.find("value=\"-11.5750\"")) << saved;
  EXPECT_EQ("Stand 3 & 4", app_.PrinterAttribute("printer-location"));
  EXPECT_EQ("geo:48.1375,-11.575", app_.PrinterAttribute("printer-geo-location"));
  EXPECT_NE(std::string::npos, app_.PrinterAttribute("printer-contact-col").find("Ana"));

  const std::string cleared = post({"geo_location_lat=", "geo_location_lon="});
  EXPECT_NE(std::string::npos, cleared.find("name=\"geo_location_lat\" min=\"-90\" max=\"90\" "
                                            "step=\"0.0001\" value=\"\""))
      << cleared;
  EXPECT_EQ(std::string::npos, app_.PrinterAttribute("printer-geo-location").find("geo:"));
  EXPECT_EQ("Stand 3 & 4", app_.PrinterAttribute("printer-location"));
}

// The jobs page cancels a job that waits for paper, with the page's form
// token and an administrator's login only.
TEST_F(Settings, JobsPageCancelsAWaitingJob) {
  ASSERT_TRUE(app_.Sim("set", "STATUS 01100"));
  ASSERT_TRUE(e2e::Eventually(
      [&] {
        return app_.PrinterAttribute("printer-state-reasons").find("media-empty") !=
               std::string::npos;
      },
      15000));
  const std::string photo = Path("photo.png");
  ASSERT_TRUE(e2e::WritePng(photo, e2e::SamplePhoto(600, 400)));
  const int job = app_.Print(photo, "image/png");
  ASSERT_GT(job, 0);
  const std::string url = app_.WebUrl("/VALDREN-QV-46/jobs");
  std::string page;
  ASSERT_EQ(0, apptest::Run({"curl", "-s", "-u", AppUnderTest::AdminLogin(), url}, &page));
  std::smatch token;
  ASSERT_TRUE(std::regex_search(page, token, std::regex("name=\"session\" value=\"([0-9a-f]+)\"")))
      << page;
  EXPECT_NE(std::string::npos, page.find("name=\"job-id\" value=\"" + std::to_string(job) + "\""))
      << page;
  const auto cancel = [&](bool admin) {
    std::vector<std::string> curl = {"curl", "-s", "-w", "\n%{http_code}"};
    if (admin) curl.insert(curl.end(), {"-u", AppUnderTest::AdminLogin()});
    curl.insert(curl.end(), {"--data-urlencode", "session=" + token[1].str(), "--data-urlencode",
                             "job-id=" + std::to_string(job), url});
    std::string answer;
    EXPECT_EQ(0, apptest::Run(curl, &answer));
    return answer;
  };
  const std::string refused = cancel(false);
  EXPECT_EQ("401", refused.substr(refused.size() - 3)) << refused;
  EXPECT_EQ(0u, app_.JobState(job).rfind("pending", 0)) << app_.JobState(job);
  const std::string done = cancel(true);
  EXPECT_EQ("200", done.substr(done.size() - 3)) << done;
  EXPECT_NE(std::string::npos, done.find("Job canceled.")) << done;
  EXPECT_EQ("canceled", app_.WaitForJob(job).substr(0, 8));
}

constexpr char kNewMedia[] = "Load new media. (Replace the paper and ribbon as a set.)";

// The simulated printer holds 50 prints per roll, all of them left.
INSTANTIATE_TEST_SUITE_P(
    States, Pages,
    testing::Values(
        StateCase{"Ready", {}, "none", "Waiting", "", "PrtStsIdle", "50 / 50", false, false},
        // The printer still counts the prints of the roll it ran out of.
        StateCase{"PaperEnd",
                  {"INFO MQTY MQTY0036", "STATUS 01100"},
                  "media-empty",
                  "Paper end",
                  kNewMedia,
                  "PrtStsPaperEnd",
                  "0 / 50",
                  false,
                  true},
        StateCase{"RibbonEnd",
                  {"STATUS 01200"},
                  "marker-supply-empty",
                  "Ribbon end",
                  kNewMedia,
                  "PrtStsRibbonEnd",
                  "0 / 50",
                  false,
                  true},
        StateCase{"FewLeft",
                  {"INFO MQTY MQTY0003"},
                  "marker-supply-low",
                  "Waiting",
                  "",
                  "PrtStsIdle",
                  "3 / 50",
                  true,
                  false},
        StateCase{"Offline",
                  {"STATUS GARBLED"},
                  "offline",
                  "Offline",
                  "Connect the printer and computer, and turn on the power.",
                  "PrtStsOffline",
                  "--- / ---",
                  false,
                  false}),
    [](const testing::TestParamInfo<StateCase>& info) { return info.param.name; });

}  // namespace
