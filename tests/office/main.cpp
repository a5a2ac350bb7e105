// vm_office_tests: every office case in one process (one warm office), with the shared engine
// cases of tests/word/engine_cases.cpp less the documented differences of this back end, where
// LibreOffice 7.4 through UNO cannot give Word's effect exactly.

#include <gtest/gtest.h>

#include <string>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* differences[] = {
      // a field counts as Writer shows it; tracked deletions are counted; an inline picture is not
      "CharacterCountCountsWhatWordCounts",
      // deleted text is never matched, but Writer's search does not run a match across a deletion
      "DeletedTextNeverMatchesAndInsertedTextDoes",
      "FieldCodesNeverMatchAndResultsDo",                  // Writer's search does not see field results
      "MatchByteOffFoldsWidth",                            // UNO's search has no width folding
      "MatchesSpanHyperlinksSmartTagsAndContentControls",  // a match does not cross a content control
      // ^m / ^n become a paragraph with a break before (Writer has no break character in a paragraph)
      "ReplacementCodesWriteTabsAndBreaks",
      // a footer made for a title page changes the section's headers in the .docx LibreOffice
      // writes (the save is refused, the file kept)
      "EnsureStoryGivesTheCurrentPageHeaderOrFooter",
      // and, because LibreOffice writes the whole package anew on save: a style the package does
      // not define is dropped; runs are split and merged anew; the main part becomes
      // word/document.xml; one relationship per picture; a comment anchored nowhere is dropped
      "EmptyParagraphsGoWithDoubleMarks",
      "ParagraphMarkInTheReplacementSplitsTheParagraph",
      "EmptyReplacementDeletes",
      "SpacesAtTheEdgesArePreserved",
      "MainPartIsFoundThroughTheRelationships",
      "PicturePartsRelationshipsAndContentTypes",
      "TextBoxesAndOtherStoriesAreLeftAlone",
  };
  std::string filter = GTEST_FLAG_GET(filter);
  std::string negative;
  for (const char* d : differences) negative += (negative.empty() ? "" : ":") + std::string("Backends/Engine.") + d + "/office";
  // Keep a filter given on the command line and add the exclusions to it.
  if (filter.find('-') == std::string::npos)
    filter += "-" + negative;
  else
    filter += ":" + negative;
  GTEST_FLAG_SET(filter, filter);
  return RUN_ALL_TESTS();
}
