#include "button/PropertyBag.h"

#include <QFile>
#include <QFont>

namespace kestrune {

QVariant MapPropertyBag::Read(const QString& key, const QVariant& defaultValue) {
    reads_.append(key);
    const auto found = values_.constFind(key);
    return found == values_.cend() ? defaultValue : *found;
}

void MapPropertyBag::Write(const QString& key, const QVariant& value) {
    writes_.append(key);
    if (!values_.contains(key)) {
        keys_.append(key);
    }
    values_.insert(key, value);
}

namespace {

QString EscapeValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == u'\\') {
            out += QStringLiteral("\\\\");
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else if (c == u'\r') {
            out += QStringLiteral("\\r");
        } else {
            out += c;
        }
    }
    return out;
}

QString UnescapeValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar next = value[i + 1];
            if (next == u'\\' || next == u'n' || next == u'r') {
                out += next == u'n' ? QChar(u'\n') : next == u'r' ? QChar(u'\r') : next;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString ValueText(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QFont:
        return value.value<QFont>().toString();
    default:
        return value.toString();
    }
}

}  // namespace

Design Design::Parse(const QString& text) {
    Design design;
    MapPropertyBag* bag = nullptr;
    // Editors on some desktops start a UTF-8 file with a byte-order mark.
    const QString body = text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
    for (QString line : body.split(u'\n')) {
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'#')) {
            continue;
        }
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
            bag = &design.Bag(trimmed.mid(1, trimmed.size() - 2).trimmed());
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (bag == nullptr || equals < 0) {
            continue;
        }
        // The caption's own spaces are part of its value, so only the key is trimmed.
        bag->Write(line.left(equals).trimmed(), UnescapeValue(line.mid(equals + 1)));
    }
    return design;
}

std::optional<Design> Design::Load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return Parse(QString::fromUtf8(file.readAll()));
}

QString Design::ToText() const {
    QString text;
    for (const QString& control : controls_) {
        const MapPropertyBag& bag = *bags_.constFind(control);
        if (!text.isEmpty()) {
            text += u'\n';
        }
        text += u'[' + control + QStringLiteral("]\n");
        for (const QString& key : bag.Keys()) {
            text += key + u'=' + EscapeValue(ValueText(bag.Value(key))) + u'\n';
        }
    }
    return text;
}

MapPropertyBag& Design::Bag(const QString& control) {
    if (!bags_.contains(control)) {
        controls_.append(control);
    }
    return bags_[control];
}

const MapPropertyBag* Design::Find(const QString& control) const {
    const auto found = bags_.constFind(control);
    return found == bags_.cend() ? nullptr : &*found;
}

}  // namespace kestrune
