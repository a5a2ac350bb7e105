// vm_office_tests: every office case in one process (one warm office), with the shared engine
// cases of tests/word/engine_cases.cpp less the documented differences of this back end.
//
// The differences (LibreOffice 7.4 through UNO cannot give Word's effect exactly):
//   CharacterCountCountsWhatWordCounts          a field counts as Writer shows it; tracked
//                                               deletions are counted; an inline picture is not
//   DeletedTextNeverMatchesAndInsertedTextDoes  deleted text is never matched, but Writer's
//                                               search does not run a match across a deletion
//   FieldCodesNeverMatchAndResultsDo            Writer's search does not see field results
//   MatchByteOffFoldsWidth                      UNO's search has no width folding (MatchByte off)
//   MatchesSpanHyperlinksSmartTagsAndContentControls  a match does not cross a content control
//   ReplacementCodesWriteTabsAndBreaks          ^m / ^n become a paragraph with a break before
//                                               (Writer has no break character in a paragraph)
//   EnsureStoryGivesTheCurrentPageHeaderOrFooter  a footer made for a title page changes the
//                                               section's headers in the .docx LibreOffice
//                                               writes (the save is refused, the file kept)
//   and, because LibreOffice writes the whole package anew on save:
//   EmptyParagraphsGoWithDoubleMarks, ParagraphMarkInTheReplacementSplitsTheParagraph
//                                               (a style the package does not define is dropped)
//   EmptyReplacementDeletes, SpacesAtTheEdgesArePreserved (runs are split and merged anew)
//   MainPartIsFoundThroughTheRelationships      (the main part becomes word/document.xml)
//   PicturePartsRelationshipsAndContentTypes    (one relationship per picture)
//   TextBoxesAndOtherStoriesAreLeftAlone        (a comment anchored nowhere is dropped)

#include <gtest/gtest.h>

#include <string>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* differences[] = {
      "CharacterCountCountsWhatWordCounts",
      "DeletedTextNeverMatchesAndInsertedTextDoes",
      "FieldCodesNeverMatchAndResultsDo",
      "MatchByteOffFoldsWidth",
      "MatchesSpanHyperlinksSmartTagsAndContentControls",
      "ReplacementCodesWriteTabsAndBreaks",
      "EnsureStoryGivesTheCurrentPageHeaderOrFooter",
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
