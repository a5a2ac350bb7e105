#pragma once
// Names of the copies that conversions write into their output folder: the folder text with a
// separator after it, the source's name with another extension, and a free name (memo2.doc,
// memo3.doc, ...) when one is taken, so that nothing is overwritten.

#include <QString>

namespace vm::ops {

// The trimmed folder text with a "/" after it ("" stays "").
QString outputFolder(const QString& folderText);

// The file name of path with its final extension (after the last ".") replaced by newExtension
// (without its "."); a name without "." gets it appended.
QString withExtension(const QString& fileName, const QString& newExtension);

// folder + name when no file exists there, else the first of folder + name with 2, 3, ...
// inserted before its final extension.
QString freeTarget(const QString& folder, const QString& name);

}  // namespace vm::ops
