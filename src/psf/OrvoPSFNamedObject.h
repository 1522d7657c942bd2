#pragma once

#include "psf/OrvoPSFMultiLangString_1_5.h"
#include "psf/OrvoPSFObject.h"

#include <QImage>
#include <QString>

#include <memory>
#include <vector>

// A record that carries names in several languages: its fixed part, then its chain of name
// strings from namesOffset() (workouts add further chains after it). The strings are 8-bit
// text or bit-font images, as the record's bit-font flag says. The view owns its string views,
// never their bytes.
class OrvoPSFNamedObject : public OrvoPSFObject
{
public:
    using Strings = std::vector<std::unique_ptr<OrvoPSFMultiLangString_1_5>>;

    explicit OrvoPSFNamedObject(std::span<uchar> bytes);
    ~OrvoPSFNamedObject() override;

    virtual bool isBitFont() const = 0;
    virtual void setBitFont(bool flag) = 0;
    // Offset of the first name string from the record's first byte (the word at 32); -1 when
    // the record has none.
    virtual qint64 namesOffset() const;
    virtual void setNamesOffset(qint64 offset);

    // Reads the name chain when the record has one.
    void loadNames();
    // Reads the chain of strings that starts first bytes into the record. The walk ends at the
    // last string, and (with a warning) before an erased string header or a string that runs
    // past the record's memory (which a frame bounds by the used part of the record's area);
    // the has-next bit of a chain cut short so is cleared, so that the chain stays as read.
    Strings loadStrings(qsizetype first) const;
    // Appends a name (rendered as a 128 × 16 line when the record is a bit-font one). Answers
    // the new string, or null, with the record unchanged, when it does not fit.
    OrvoPSFMultiLangString_1_5 *addName(const QString &text, const QString &code);
    // The text of the name in the language (the first name for an empty code; codes compared
    // ignoring case), up to its first NUL; empty when not found or the names are images.
    QString name(const QString &code) const;
    // The image of the name in the language (codes compared exactly); empty when not found or
    // the names are text.
    QImage nameImage(const QString &code) const;
    const Strings &names() const;

    static qsizetype stringsSize(const Strings &strings);
    // The most bytes a string of the text can take: its 8-bit text, or a rendered name or
    // description.
    static qsizetype stringBound(const QString &text, bool asBitFont, bool isDesc);

protected:
    // Renders a string apart, then writes it at position and appends it to chain, setting the
    // has-next bit of the chain's last string. Without reset the string keeps the header bytes
    // already at position that setString leaves alone. Null, with nothing written, when the
    // string does not fit the record's memory.
    OrvoPSFMultiLangString_1_5 *appendString(Strings &chain, qsizetype position, const QString &text,
                                             const QString &code, bool isDesc, bool reset);

private:
    const OrvoPSFMultiLangString_1_5 *findName(const QString &code, Qt::CaseSensitivity sensitivity) const;

    Strings m_names;
};
