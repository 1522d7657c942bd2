#pragma once

#include <QString>

class QXmlStreamWriter;

// Copies the root element of an XML file, with everything inside it, into the document being
// written. False when there is no such file or it is not well-formed XML: copying a broken
// file would stop at its error and leave its elements open inside ours, so nothing is written
// then.
bool zkCopyXmlFile(QXmlStreamWriter &writer, const QString &path);
