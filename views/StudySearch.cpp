#include "views/StudySearch.h"

namespace {

bool HasWildcard(const QString& text) { return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?')); }

// Backslash separates values in DICOM: a search text never holds one.
QString Clean(const QString& text) {
    QString clean = text.trimmed();
    clean.remove(QLatin1Char('\\'));
    return clean;
}

QString DateKey(const QDate& from, const QDate& to) {
    QString f = from.isValid() ? from.toString(QStringLiteral("yyyyMMdd")) : QString();
    const QString t = to.isValid() ? to.toString(QStringLiteral("yyyyMMdd")) : QString();
    if (f.isEmpty() && t.isEmpty()) return {};
    if (f == t) return f;
    return f + QLatin1Char('-') + t;
}

}  // namespace

QStringList StudySearchKeys(const CStudySearch& search) {
    QStringList keys;
    const auto add = [&keys](const char* keyword, const QString& value) {
        if (!value.isEmpty()) keys << QLatin1String(keyword) + QLatin1Char('=') + value;
    };
    const QString name = Clean(search.patientName);
    add("PatientName", name.isEmpty() || HasWildcard(name) ? name : name + QLatin1Char('*'));
    add("PatientID", Clean(search.patientId));
    add("StudyDate", DateKey(search.from, search.to));
    add("ModalitiesInStudy", Clean(search.modality).toUpper());
    add("AccessionNumber", Clean(search.accession));
    const QString description = Clean(search.description);
    add("StudyDescription", description.isEmpty() || HasWildcard(description)
                                ? description
                                : QLatin1Char('*') + description + QLatin1Char('*'));
    return keys;
}

QString PersonNameText(const QString& dicomName) {
    const QString alphabetic = dicomName.section(QLatin1Char('='), 0, 0);
    const QStringList parts = alphabetic.split(QLatin1Char('^'));
    QString family = parts.value(0).trimmed();
    QStringList rest;
    // Given, middle, prefix, suffix: the prefix goes first, as people write it.
    if (!parts.value(3).trimmed().isEmpty()) rest << parts.value(3).trimmed();
    for (int i : {1, 2, 4}) {
        if (!parts.value(i).trimmed().isEmpty()) rest << parts.value(i).trimmed();
    }
    if (rest.isEmpty()) return family;
    if (family.isEmpty()) return rest.join(QLatin1Char(' '));
    return family + QStringLiteral(", ") + rest.join(QLatin1Char(' '));
}

QString DicomDateText(const QString& dicomDate) {
    const QDate date = QDate::fromString(dicomDate.trimmed(), QStringLiteral("yyyyMMdd"));
    return date.isValid() ? date.toString(Qt::ISODate) : dicomDate;
}
