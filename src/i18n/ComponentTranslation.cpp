// SPDX-License-Identifier: GPL-3.0-or-later
// Translation of the interface texts an object tree carries in its properties.

#include "GnuGettext.h"

#include "Exception.h"

#include <QMetaObject>
#include <QMetaProperty>
#include <QObject>
#include <QVariant>

#include <algorithm>
#include <deque>
#include <set>
#include <utility>

namespace {

void InsertSortedUpper(QStringList& list, const QString& text)
{
    const QString upper = text.toUpper();
    const auto it = std::lower_bound(list.begin(), list.end(), upper);
    if (it == list.end() || *it != upper)
        list.insert(it, upper);
}

bool HasSorted(const QStringList& list, const QString& upper)
{
    return std::binary_search(list.begin(), list.end(), upper);
}

using TQueue = std::deque<std::pair<QString, QObject*>>;

// The lines of a text, as a string list takes them: a line ends at CR LF, LF or CR, and a break at
// the very end ends the last line rather than starting an empty one.
QStringList SplitLines(const QString& text)
{
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            lines << line;
            line.clear();
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

// A string list with each non-empty line translated; its text is set anew from the translated
// lines, so a translation that holds a line break becomes two lines.
QStringList TranslateLines(TGnuGettextInstance& translator, const QString& domain, const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += (line.isEmpty() ? line : translator.TranslateInDomain(domain, line)) + QStringLiteral("\r\n");
    return SplitLines(text);
}

void TranslatePropertyValue(TGnuGettextInstance& translator, const QString& domain, QObject* object,
                            const QMetaProperty& property, TQueue& queue)
{
    try {
        const QMetaType type = property.metaType();
        if (type.id() == QMetaType::QString) {
            const QString value = property.read(object).toString();
            if (value.isEmpty() || !property.isWritable())
                return;
            const QString translated = translator.TranslateInDomain(domain, value);
            if (translated == value)
                return;
            const int index = object->metaObject()->indexOfProperty(property.name());
            if (index < 0)
                throw Exception(QStringLiteral("Property disappeared..."));
            object->metaObject()->property(index).write(object, translated);
        } else if (type.id() == QMetaType::QStringList) {
            if (!property.isWritable())
                return;
            // A string list is rewritten from its translated copy, changed or not.
            const QStringList lines = property.read(object).toStringList();
            property.write(object, TranslateLines(translator, domain, lines));
        } else if (type.flags() & QMetaType::PointerToQObject) {
            if (QObject* value = property.read(object).value<QObject*>())
                queue.emplace_back(QString(), value);
        }
    } catch (const Exception& error) {
        const QString name = QString::fromLatin1(property.name());
        throw Exception(QStringLiteral("Property cannot be translated.\r\nUse TP_GlobalIgnoreClassProperty(")
                        + QString::fromLatin1(object->metaObject()->className()) + u',' + name
                        + QStringLiteral(") or\r\nTP_Ignore (self,'.") + name
                        + QStringLiteral("') to prevent this message.\r\nReason: ") + error.Message());
    }
}

} // namespace

void TGnuGettextInstance::TP_Ignore(QObject* /*unused*/, const QString& name)
{
    InsertSortedUpper(ignoreList_, name);
}

void TGnuGettextInstance::TP_GlobalIgnoreClassProperty(const QMetaObject* cls, const QString& propertyName)
{
    // A rule for a class stands before the rules of its ancestors.
    for (auto it = classRules_.begin(); it != classRules_.end(); ++it) {
        if (it->Class == cls) {
            InsertSortedUpper(it->PropertiesToIgnore, propertyName);
            return;
        }
        if (cls->inherits(it->Class)) {
            classRules_.insert(it, TClassMode{cls, {propertyName.toUpper()}});
            return;
        }
    }
    classRules_.push_back(TClassMode{cls, {propertyName.toUpper()}});
}

void TGnuGettextInstance::TranslateComponentTree(QObject* root, const QString& domain)
{
    const QString targetDomain = domain.isEmpty() ? currentDomain_ : domain;
    TQueue queue{{QString(), root}};
    std::set<const QObject*> processed;
    QStringList objectIgnores;

    while (!queue.empty()) {
        const auto [entry, object] = queue.front();
        queue.pop_front();
        if (!object || !processed.insert(object).second)
            continue;

        objectIgnores.clear();
        const QMetaObject* meta = object->metaObject();
        for (const TClassMode& rule : classRules_) {
            if (meta->inherits(rule.Class)) {
                for (const QString& name : rule.PropertiesToIgnore)
                    InsertSortedUpper(objectIgnores, name);
            }
        }

        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            const QString upper = QString::fromLatin1(property.name()).toUpper();
            if (HasSorted(ignoreList_, entry + u'.' + upper) || HasSorted(objectIgnores, upper))
                continue;
            TranslatePropertyValue(*this, targetDomain, object, property, queue);
        }

        // The components an object owns are its named children; unnamed ones (and "qt_" ones)
        // are Qt's own machinery.
        for (QObject* child : object->children()) {
            const QString name = child->objectName();
            if (name.isEmpty() || name.startsWith(QStringLiteral("qt_")))
                continue;
            const QString upper = name.toUpper();
            if (!HasSorted(ignoreList_, upper))
                queue.emplace_back(upper, child);
        }
    }
    ignoreList_.clear();
}
