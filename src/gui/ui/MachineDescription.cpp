// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MachineDescription.h"

#include "format/Plist.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

/// A product name that is a part or type number rather than a name.
bool isTypeNumber(const QString &product)
{
    return !product.contains(u' ') && std::any_of(product.begin(), product.end(), [](QChar c) {
        return c.isDigit();
    }) && std::none_of(product.begin(), product.end(), [](QChar c) {
        return c.isLower();
    });
}

/// "Dell Inc." -> "Dell", "Micro-Star International Co., Ltd." -> "Micro-Star".
QString makerName(const QString &vendor)
{
    static const QStringList companyWords = { u"inc"_s,
        u"corp"_s,
        u"corporation"_s,
        u"co"_s,
        u"ltd"_s,
        u"limited"_s,
        u"llc"_s,
        u"gmbh"_s,
        u"ag"_s,
        u"technology"_s,
        u"technologies"_s,
        u"computer"_s,
        u"international"_s };
    QStringList words = QString(vendor).replace(u',', u' ').split(u' ', Qt::SkipEmptyParts);
    while (words.size() > 1) {
        QString last = words.last().toLower();
        while (last.endsWith(u'.')) {
            last.chop(1);
        }
        if (!companyWords.contains(last)) {
            break;
        }
        words.removeLast();
    }
    return words.join(u' ');
}

} // namespace

MachineFacts MachineFacts::read()
{
    MachineFacts facts;
    facts.modelIdentifier = core::System::model();
    facts.firmware = core::System::firmwareInfo();
    facts.processor = core::System::processorModel();
    facts.logicalCores = core::System::logicalCores();
    facts.physicalCores = core::System::physicalCores();
    facts.memoryGigabytes = core::System::physicalMemory();
    return facts;
}

std::optional<ModelTexts> lookUpMachineAttributes(const core::format::PlistValue &table, std::string_view identifier)
{
    const core::format::PlistValue *entry = table.find(identifier);
    const core::format::PlistValue *texts = entry != nullptr ? entry->find("_LOCALIZABLE_") : nullptr;
    if (texts == nullptr) {
        return std::nullopt;
    }
    const core::format::PlistValue *model = texts->find("model");
    const core::format::PlistValue *marketing = texts->find("marketingModel");
    if (model == nullptr || !model->isString() || marketing == nullptr || !marketing->isString()) {
        return std::nullopt;
    }
    return ModelTexts{ QString::fromStdString(*model->string()), QString::fromStdString(*marketing->string()) };
}

QString firmwareModelName(const core::FirmwareInfo &firmware)
{
    QString name = QString::fromStdString(firmware.product).simplified();
    if (name.isEmpty()) {
        return {};
    }
    const QString version = QString::fromStdString(firmware.productVersion).simplified();
    const bool versionIsAName = std::any_of(version.begin(), version.end(), [](QChar c) {
        return c.isLetter();
    });
    if (isTypeNumber(name) && versionIsAName) {
        name = version;
    }
    const QString maker = makerName(QString::fromStdString(firmware.vendor).simplified());
    if (maker.isEmpty() || name.startsWith(maker, Qt::CaseInsensitive)) {
        return name;
    }
    return maker + u' ' + name;
}

QString hardwareDescription(const MachineFacts &facts)
{
    QStringList parts;
    static const QRegularExpression marks(uR"(\((R|TM)\))"_s, QRegularExpression::CaseInsensitiveOption);
    const QString processor = QString::fromStdString(facts.processor).remove(marks).simplified();
    if (!processor.isEmpty()) {
        parts.append(processor);
    }
    if (facts.logicalCores > 0) {
        const int cores = facts.physicalCores > 0 ? facts.physicalCores : facts.logicalCores;
        QString text = QString::number(cores) + (cores == 1 ? u" core"_s : u" cores"_s);
        if (cores != facts.logicalCores) {
            text += u", "_s + QString::number(facts.logicalCores) + u" threads"_s;
        }
        parts.append(text);
    }
    if (facts.memoryGigabytes > 0) {
        parts.append(QString::asprintf("%.1f GB memory", facts.memoryGigabytes));
    }
    return parts.join(u", "_s);
}

ModelTexts describeMachine(const core::format::PlistValue *table, const MachineFacts &facts)
{
    if (table != nullptr && !facts.modelIdentifier.empty()) {
        if (auto known = lookUpMachineAttributes(*table, facts.modelIdentifier)) {
            return *known;
        }
    }
    const QString model = firmwareModelName(facts.firmware);
    const QString description = hardwareDescription(facts);
    return ModelTexts{ model.isEmpty() ? u"Unknown"_s : model, description.isEmpty() ? u"Unknown"_s : description };
}

} // namespace gui
