#include "word/docx/watermark.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "word/docx/borders.h"
#include "word/docx/unicase.h"
#include "word/docx/wml.h"

namespace vm::word::docx {

namespace {

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  std::string s = buf;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

bool fullWidth(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000;
}

}  // namespace

std::pair<double, double> wordArtSize(const Watermark& mark) {
  double ems = 0;
  for (std::size_t i = 0; i < mark.text.size();) ems += fullWidth(decodeUtf8(mark.text, i)) ? 1.0 : 0.5;
  const double w0 = std::max(ems, 0.5) * mark.fontSize, h0 = mark.fontSize;
  if (!mark.formatted) return {w0, h0};
  double w = w0, h = h0;
  if (mark.heightPt > 0) {
    w = w * mark.heightPt / h;
    h = mark.heightPt;
  }
  if (mark.widthPt > 0) {
    h = h * mark.widthPt / w;
    w = mark.widthPt;
  }
  return {w, h};
}

std::string wordArtPict(const Watermark& mark, const VmlPrefixes& p, bool withShapeType, long spid) {
  const std::string& v = p.v;
  const std::string& o = p.o;
  std::string xml;
  if (withShapeType) {
    xml += "<" + v + "shapetype id=\"_x0000_t136\" coordsize=\"21600,21600\" " + o +
           "spt=\"136\" adj=\"10800\" path=\"m@7,l@8,m@5,21600l@6,21600e\"><" + v + "formulas>";
    for (const char* eqn : {"sum #0 0 10800", "prod #0 2 1", "sum 21600 0 @1", "sum 0 0 @2", "sum 21600 0 @3",
                            "if @0 @3 0", "if @0 21600 @1", "if @0 0 @2", "if @0 @4 21600", "mid @5 @6",
                            "mid @8 @5", "mid @7 @8", "mid @6 @7", "sum @6 0 @5"})
      xml += "<" + v + "f eqn=\"" + eqn + "\"/>";
    xml += "</" + v + "formulas><" + v + "path textpathok=\"t\" " + o + "connecttype=\"custom\" " + o +
           "connectlocs=\"@9,0;@10,10800;@11,21600;@12,10800\" " + o + "connectangles=\"270,180,90,0\"/><" + v +
           "textpath on=\"t\" fitshape=\"t\"/><" + v + "handles><" + v +
           "h position=\"#0,bottomRight\" xrange=\"6629,14971\"/></" + v + "handles><" + o + "lock " + v +
           "ext=\"edit\" text=\"t\" shapetype=\"t\"/></" + v + "shapetype>";
  }
  auto [width, height] = wordArtSize(mark);
  std::string style = "position:absolute;margin-left:0;margin-top:0;width:" + number(width) + "pt;height:" +
                      number(height) + "pt;z-index:251659264";
  std::string fill = "fillcolor=\"black\"";
  std::string inside;
  if (mark.formatted) {
    // In front of the text, relative to the margins, centred where asked.
    style += ";rotation:0";
    style += mark.centreHorizontally ? ";mso-position-horizontal:center" : "";
    style += ";mso-position-horizontal-relative:margin";
    style += mark.centreVertically ? ";mso-position-vertical:center" : "";
    style += ";mso-position-vertical-relative:margin";
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%02X%02X%02X", mark.colour & 0xFF, (mark.colour >> 8) & 0xFF,
                  (mark.colour >> 16) & 0xFF);
    fill = std::string("fillcolor=\"") + colour + "\" stroked=\"f\"";
    inside += "<" + v + "fill type=\"solid\" opacity=\"" + number(1.0 - std::clamp(mark.transparency, 0.0, 1.0)) + "\"/>";
  }
  inside += "<" + v + "textpath style=\"font-family:&quot;" + escapeXml(mark.font, true) + "&quot;;font-size:" +
            number(mark.fontSize) + "pt\" string=\"" + escapeXml(mark.text, true) + "\"/>";
  xml += "<" + v + "shape id=\"msoTextEffect1\" " + o + "spid=\"_x0000_s" + std::to_string(spid) +
         "\" type=\"#_x0000_t136\" style=\"" + style + "\" " + o + "allowincell=\"f\" " + o +
         "allowoverlap=\"t\" " + fill + ">" + inside + "</" + v + "shape>";
  return xml;
}

std::string floatingPictureDrawing(const std::string& wp, const std::string& r, const std::string& rid,
                                   long cx, long cy, long id, const std::string& fileName) {
  const std::string sx = std::to_string(cx), sy = std::to_string(cy), sid = std::to_string(id);
  return "<" + wp + "anchor distT=\"0\" distB=\"0\" distL=\"114300\" distR=\"114300\" simplePos=\"0\" "
         "relativeHeight=\"251660288\" behindDoc=\"0\" locked=\"0\" layoutInCell=\"1\" allowOverlap=\"1\"><" +
         wp + "simplePos x=\"0\" y=\"0\"/><" + wp + "positionH relativeFrom=\"column\"><" + wp +
         "posOffset>0</" + wp + "posOffset></" + wp + "positionH><" + wp + "positionV relativeFrom=\"paragraph\"><" +
         wp + "posOffset>0</" + wp + "posOffset></" + wp + "positionV><" + wp + "extent cx=\"" + sx + "\" cy=\"" +
         sy + "\"/><" + wp + "effectExtent l=\"0\" t=\"0\" r=\"0\" b=\"0\"/><" + wp + "wrapNone/><" + wp +
         "docPr id=\"" + sid + "\" name=\"图片 " + sid + "\"/><" + wp +
         "cNvGraphicFramePr><a:graphicFrameLocks xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
         "noChangeAspect=\"1\"/></" + wp + "cNvGraphicFramePr>"
         "<a:graphic xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">"
         "<a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">"
         "<pic:pic xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:nvPicPr>"
         "<pic:cNvPr id=\"0\" name=\"" + fileName + "\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip " + r +
         "embed=\"" + rid + "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm>"
         "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"" + sx + "\" cy=\"" + sy + "\"/></a:xfrm><a:prstGeom prst=\"rect\">"
         "<a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData></a:graphic></" + wp + "anchor>";
}

bool removeHeaderStyleBorder(Package& package) {
  const std::string& mainName = package.mainPartName();
  std::string styles;
  for (const Relationship& r : package.relationships(mainName))
    if (!r.external && r.type.size() >= 7 && r.type.compare(r.type.size() - 7, 7, "/styles") == 0)
      styles = Package::resolveTarget(mainName, r.target);
  if (styles.empty() || !package.hasPart(styles)) return false;
  XmlPart& part = package.xmlPart(styles);
  Wml w(part.root());
  const std::string styleName = w.name("style"), nameName = w.name("name");
  for (auto s = part.root().child(styleName.c_str()); s; s = s.next_sibling(styleName.c_str())) {
    std::string_view type = w.attr(s, "type").value();
    if (!type.empty() && type != "paragraph") continue;
    if (asciiLower(w.attr(s.child(nameName.c_str()), "val").value()) != "header") continue;
    setNoBottomBorder(ensurePPr(s, w), w);
    part.markDirty();
    return true;
  }
  return false;
}

}  // namespace vm::word::docx
