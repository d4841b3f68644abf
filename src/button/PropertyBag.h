#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace kestrune {

// The host's store of a control's saved properties: one value per key.
class PropertyBag {
public:
    virtual ~PropertyBag() = default;

    // The stored value of key, or defaultValue when the key is absent.
    virtual QVariant Read(const QString& key, const QVariant& defaultValue) = 0;

    // Stores value under key, replacing any earlier value.
    virtual void Write(const QString& key, const QVariant& value) = 0;
};

// A property bag held in memory that remembers the order of reads and writes.
class MapPropertyBag : public PropertyBag {
public:
    QVariant Read(const QString& key, const QVariant& defaultValue) override;
    void Write(const QString& key, const QVariant& value) override;

    // True when key holds a value.
    bool Contains(const QString& key) const { return values_.contains(key); }

    // The stored value, or an invalid QVariant when the key is absent.
    QVariant Value(const QString& key) const { return values_.value(key); }

    // Keys in the order they were first written.
    const QStringList& Keys() const { return keys_; }

    // Every key passed to Write, in call order, repeats included.
    const QStringList& Writes() const { return writes_; }

    // Every key passed to Read, in call order, repeats included.
    const QStringList& Reads() const { return reads_; }

private:
    QMap<QString, QVariant> values_;
    QStringList keys_;
    QStringList writes_;
    QStringList reads_;
};

// A window's saved controls as text: "[name]" sections of "KEY=value" lines, values
// kept as text with "\n", "\r" and "\\" escaped; one property bag per control.
class Design {
public:
    // Skips blank, ";" and "#" lines, lines without "=" and lines before any section; the last duplicate counts.
    static Design Parse(const QString& text);

    // Reads a UTF-8 design file (":/" names a Qt resource); nothing when it cannot be opened.
    static std::optional<Design> Load(const QString& path);

    // The design text, controls and keys in the order they first appeared.
    QString ToText() const;

    // The bag of the named control, created empty when the design has none.
    MapPropertyBag& Bag(const QString& control);

    // The bag of the named control, or null when the design has none.
    const MapPropertyBag* Find(const QString& control) const;

    // Control names in the order they were first named.
    const QStringList& Controls() const { return controls_; }

private:
    QMap<QString, MapPropertyBag> bags_;
    QStringList controls_;
};

}  // namespace kestrune
