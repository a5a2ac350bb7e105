// Page setup of a whole document and rendering to PDF: what a print run does to its copy.

#include <cmath>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>

#include "word/office/officedocument.h"

namespace vm::word::office {

namespace {

// Points to the office's unit, 1/100 mm.
sal_Int32 hundredthsMm(double points) { return static_cast<sal_Int32>(std::lround(points * 2540.0 / 72.0)); }

}  // namespace

void OfficeDocument::setPageSetup(const PageSetup& setup) {
  checkOpen();
  if (!setup.landscape && !setup.margins) return;
  apply("setPageSetup", [setup](DocState& st) {
    // A section is a page style here; setting every style also covers the sections to come.
    Reference<css::style::XStyleFamiliesSupplier> fs(st.model, UNO_QUERY_THROW);
    Reference<css::container::XNameAccess> styles(fs->getStyleFamilies()->getByName(ou("PageStyles")), UNO_QUERY_THROW);
    for (const OUString& name : styles->getElementNames()) {
      Reference<css::beans::XPropertySet> ps(styles->getByName(name), UNO_QUERY_THROW);
      if (setup.landscape) {
        bool landscape = false;
        ps->getPropertyValue(ou("IsLandscape")) >>= landscape;
        sal_Int32 width = 0, height = 0;
        ps->getPropertyValue(ou("Width")) >>= width;
        ps->getPropertyValue(ou("Height")) >>= height;
        if (!landscape || width < height) {
          // the office does not turn the paper itself: the sides swap with the flag
          ps->setPropertyValue(ou("IsLandscape"), Any(true));
          ps->setPropertyValue(ou("Width"), Any(std::max(width, height)));
          ps->setPropertyValue(ou("Height"), Any(std::min(width, height)));
        }
      }
      if (setup.margins) {
        ps->setPropertyValue(ou("LeftMargin"), Any(hundredthsMm(setup.margins->left)));
        ps->setPropertyValue(ou("RightMargin"), Any(hundredthsMm(setup.margins->right)));
        ps->setPropertyValue(ou("TopMargin"), Any(hundredthsMm(setup.margins->top)));
        ps->setPropertyValue(ou("BottomMargin"), Any(hundredthsMm(setup.margins->bottom)));
      }
    }
    return 1;
  });
}

void OfficeDocument::exportPdf(const fs::path& target) {
  checkOpen();
  const fs::path abs = fs::absolute(target);
  run("exportPdf", [&](DocState& st) {
    Reference<css::frame::XStorable> s(st.model, UNO_QUERY_THROW);
    try {
      s->storeToURL(fileUrl(abs), props({prop("FilterName", Any(ou("writer_pdf_Export"))), prop("Overwrite", Any(true))}));
    } catch (const css::io::IOException&) {
      throw EngineError(ErrorCode::WriteFailed, abs.string() + ": " + caughtUnoException());
    }
    return 0;
  });
  std::error_code ec;
  if (!fs::is_regular_file(abs, ec) || fs::file_size(abs, ec) == 0)
    throw EngineError(ErrorCode::WriteFailed, abs.string() + ": the office wrote nothing");
}

}  // namespace vm::word::office
