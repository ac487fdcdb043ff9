#include "pages/PageTable.h"

#include "link/Codec.h"

namespace tarsyn::pages {

int Field::width() const {
    switch (kind) {
        case FieldKind::Byte:
            return 2;
        case FieldKind::Word:
        case FieldKind::Hundredths:
        case FieldKind::Tenths:
            return 4;
        case FieldKind::Bit:
            return 0;
        case FieldKind::StationName:
            return 32;
        case FieldKind::Phone:
            return 12;
    }
    return 0;
}

QString Block::request() const {
    return QStringLiteral("0004") + link::ToHex(quint32(start), 4) + link::ToHex(quint32(bytes), 4);
}

QVector<const Field*> Block::keyedFields() const {
    QVector<const Field*> out;
    if (keyOrder.isEmpty()) {
        for (const Field& f : fields) out << &f;
        return out;
    }
    for (const QString& key : keyOrder)
        for (const Field& f : fields)
            if (f.key == key) out << &f;
    return out;
}

const Field* Block::field(const QString& control) const {
    for (const Field& f : fields)
        if (f.control == control) return &f;
    return nullptr;
}

QString buttonName(int block, int role) {
    static const char* const kRows[] = {"btngsm", "btnsz", "btnjs"};
    return QLatin1String(kRows[block]) + QString::number(role);
}

namespace {
Field plain(FieldKind kind, const char* control, int address, const char* key, const char* label,
            const char* caption) {
    Field f;
    f.kind = kind;
    f.address = address;
    f.control = QString::fromUtf8(control);
    f.key = QString::fromUtf8(key);
    f.label = QString::fromUtf8(label);
    f.caption = QString::fromUtf8(caption);
    return f;
}
}  // namespace

Field byteField(const char* control, int address, const char* key, const char* label, const char* caption) {
    return plain(FieldKind::Byte, control, address, key, label, caption);
}
Field wordField(const char* control, int address, const char* key, const char* label, const char* caption) {
    return plain(FieldKind::Word, control, address, key, label, caption);
}
Field hundredthsField(const char* control, int address, const char* key, const char* label,
                      const char* caption) {
    return plain(FieldKind::Hundredths, control, address, key, label, caption);
}
Field tenthsField(const char* control, int address, const char* key, const char* label, const char* caption) {
    return plain(FieldKind::Tenths, control, address, key, label, caption);
}
Field textField(FieldKind kind, const char* control, int address, const char* key, const char* label,
                const char* caption) {
    return plain(kind, control, address, key, label, caption);
}
Field withUnit(Field field, const char* unitLabel, const char* unitCaption) {
    field.unitLabel = QString::fromUtf8(unitLabel);
    field.unitCaption = QString::fromUtf8(unitCaption);
    return field;
}
Field bitField(int address, int bit, const char* group, const char* caption, const char* radio0,
               const char* caption0, const char* radio1, const char* caption1, const char* key) {
    Field f = plain(FieldKind::Bit, radio0, address, key, group, caption);
    f.bit = bit;
    f.control1 = QString::fromUtf8(radio1);
    f.caption0 = QString::fromUtf8(caption0);
    f.caption1 = QString::fromUtf8(caption1);
    return f;
}

}  // namespace tarsyn::pages
