// The HTML pages as a browser shows them: headless Chromium loads each one,
// and its DOM must hold what the run or the campaign found.
#include <gtest/gtest.h>

#include "faults/campaign.h"
#include "html/fault_matrix.h"
#include "html/page.h"
#include "image/case_index.h"
#include "support/browser.h"
#include "support/image_run.h"
#include "support/tools.h"

namespace r3k::html {
namespace {

std::vector<std::string> routine_names(const Image& image) {
  std::vector<std::string> names;
  for (const RoutineInfo& routine : image.routines) names.push_back(routine.name);
  return names;
}

TEST(HtmlEscape, MarkupQuotesControlBytesAndBrokenUtf8) {
  EXPECT_EQ(escape("a<b>&\"'"), "a&lt;b&gt;&amp;&quot;&apos;");
  EXPECT_EQ(escape("\x1b[31m"), "\xEF\xBF\xBD[31m");
  EXPECT_EQ(escape(std::string("x\0y", 3)), "x\xEF\xBF\xBDy");
  EXPECT_EQ(escape("\xC3\xA9"), "\xC3\xA9");                     // é stays
  EXPECT_EQ(escape("\xC3"), "\xEF\xBF\xBD");                     // cut sequence
  EXPECT_EQ(escape("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");     // overlong '/'
  EXPECT_EQ(escape("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a surrogate
}

// Three faults over both images: one each image catches where the catalog
// says, and one neither can see.
class FaultMatrixPage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::vector<const faults::CatalogFault*> chosen;
    for (const char* name : {"slt-unsigned", "add-never-traps", "lb-zero-extends"})
      chosen.push_back(faults::find_fault(name));
    faults::CampaignOptions options;
    options.threads = 2;
    campaigns_ = new std::vector<faults::Campaign>;
    for (const auto& [image, kind] : {std::pair{&test::default_image(), faults::ImageKind::main},
                                      std::pair{&test::supplement_image(), faults::ImageKind::supplement}})
      campaigns_->push_back(faults::run_campaign(image->boot_bytes(), faults::shape_of(*image, kind), chosen, options));
    page_ = new std::string(fault_matrix_page({{&(*campaigns_)[0], routine_names(test::default_image())},
                                               {&(*campaigns_)[1], routine_names(test::supplement_image())}},
                                              test::default_image().seed));
  }
  static void TearDownTestSuite() {
    delete campaigns_;
    delete page_;
  }
  static std::vector<faults::Campaign>* campaigns_;
  static std::string* page_;
};
std::vector<faults::Campaign>* FaultMatrixPage::campaigns_ = nullptr;
std::string* FaultMatrixPage::page_ = nullptr;

TEST_F(FaultMatrixPage, IsWellFormedAndSelfContained) {
  ASSERT_NE(faults::find_fault("lb-zero-extends"), nullptr);
  EXPECT_EQ(test::html_structure_problem(*page_), "");
  EXPECT_EQ(page_->find("http"), std::string::npos);
  EXPECT_EQ(page_->find("<script"), std::string::npos);
}

TEST_F(FaultMatrixPage, BrowserShowsOneRowPerFaultAndOneColumnPerRoutine) {
  test::TempDir dir;
  test::write_bytes(dir.path("faults.html"), std::vector<unsigned char>(page_->begin(), page_->end()));
  const test::Rendered rendered = test::render_page(dir.path("faults.html"));
  if (!rendered.skipped.empty()) GTEST_SKIP() << rendered.skipped;
  ASSERT_EQ(rendered.error, "");
  EXPECT_EQ(test::count_of(rendered.dom, "class=\"f mono\""), 3u);
  // The routine numbers across: 68 of the main image, 18 of the supplement,
  // then one outcome column per image.
  const size_t routines = test::default_image().routines.size() + test::supplement_image().routines.size();
  EXPECT_EQ(test::count_of(rendered.dom, "<th class=\"n"), routines + 2);
  // slt-unsigned: the main image's routine 8 was expected to fail and did.
  const size_t row = rendered.dom.find(">slt-unsigned<");
  ASSERT_NE(row, std::string::npos);
  const std::string cells = rendered.dom.substr(row, rendered.dom.find("</tr>", row) - row);
  EXPECT_NE(cells.find("m-good\" title=\"8 n8_slt_test\""), std::string::npos) << cells.substr(0, 2000);
  EXPECT_EQ(test::count_of(cells, "m-bad"), 0u);
  // add-never-traps escapes both images, as the catalog states.
  const size_t add = rendered.dom.find(">add-never-traps<");
  ASSERT_NE(add, std::string::npos);
  const std::string add_cells = rendered.dom.substr(add, rendered.dom.find("</tr>", add) - add);
  EXPECT_EQ(test::count_of(add_cells, "m-missed"), 2u);
}

// A run whose routine 21 fails (one operand of its first case patched in the
// file), and the design trace of that run against the image as built.
class RunAndDivergencePages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    ASSERT_EQ(tool("build -o " + path("image.elf")).exit_code, 0);
    const Image& built = test::default_image();
    std::string bytes = test::read_text(path("image.elf"));
    bytes.at(0x10000 + (cases_of(built, 21).first->address - built.text_base)) ^= 1;
    test::write_bytes(path("bad.elf"), std::vector<unsigned char>(bytes.begin(), bytes.end()));
  }
  static void TearDownTestSuite() { delete dir_; }
  static test::CommandResult tool(const std::string& arguments) {
    return test::run_command(std::string(R3K_TOOL_PATH) + " " + arguments);
  }
  static std::string path(const std::string& name) { return dir_->path(name); }
  static test::TempDir* dir_;
};
test::TempDir* RunAndDivergencePages::dir_ = nullptr;

TEST_F(RunAndDivergencePages, TheRunMapMarksExactlyTheFailingRoutine) {
  ASSERT_EQ(tool("run -q " + path("bad.elf") + " --html " + path("run.html") + " --trace " + path("bad.trace")).exit_code, 1);
  const std::string page = test::read_text(path("run.html"));
  EXPECT_EQ(test::html_structure_problem(page), "");
  const test::Rendered rendered = test::render_page(path("run.html"));
  if (!rendered.skipped.empty()) GTEST_SKIP() << rendered.skipped;
  ASSERT_EQ(rendered.error, "");
  EXPECT_EQ(test::count_of(rendered.dom, "class=\"tile m-good\""), 67u);
  EXPECT_EQ(test::count_of(rendered.dom, "class=\"tile m-bad\""), 1u);
  EXPECT_NE(rendered.dom.find("class=\"tile m-bad\" title=\"n21_add_test\""), std::string::npos);
}

TEST_F(RunAndDivergencePages, TheDivergencePageMarksTheCasesInstruction) {
  ASSERT_EQ(tool("run -q " + path("bad.elf") + " --trace " + path("bad.trace")).exit_code, 1);
  const auto diff = tool("trace-diff " + path("bad.trace") + " --image " + path("image.elf") + " --html " + path("d.html"));
  ASSERT_EQ(diff.exit_code, 1) << diff.out << diff.err;
  const std::string page = test::read_text(path("d.html"));
  EXPECT_EQ(test::html_structure_problem(page), "");
  EXPECT_NE(page.find("<span class=\"here\">    =&gt; 0xbfc"), std::string::npos) << page;
  EXPECT_NE(page.find("n21_add_test case 1"), std::string::npos);
}

}  // namespace
}  // namespace r3k::html
