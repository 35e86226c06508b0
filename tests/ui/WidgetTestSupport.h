// Shared fixtures of the widget tests: a small CHT-like data set shown in a grid.
#pragma once

#include "platform/dataset/ClientDataSet.h"
#include "platform/dataset/DataSource.h"
#include "platform/dataset/Field.h"
#include "platform/widgets/TWidgetErrors.h"

#include <QString>

#include <string>
#include <vector>

namespace cht::platform::widgets_testing {

using wire::FieldType;

struct Row {
    std::string check, client, signedFlag;
    double value;
};

inline std::vector<Row> sampleRows()
{
    return {{"N", "Padaria São Jorge", "N", 1234.56},
            {"S", "Oficina Irmãos Souza", "S", -0.5},
            {"N", "Mercado Bom Preço", "N", 0.0},
            {"D", "Farmácia Central", "S", 10.0}};
}

/// A set with a mapped flag (IDCHTASSINADA shows "Sim"/"Não", takes only those texts back).
struct SampleSet {
    TClientDataSet cds{QStringLiteral("cdsTeste")};
    TField& check = cds.addField(QStringLiteral("IDCHECK"), FieldType::Text, 1);
    TField& client = cds.addField(QStringLiteral("NMFANTCLIE"), FieldType::Text, 50);
    TField& signedFlag = cds.addField(QStringLiteral("IDCHTASSINADA"), FieldType::Text, 1);
    TField& value = cds.addField(QStringLiteral("VRFATU"), FieldType::Float);
    TDataSource dts{&cds};

    SampleSet()
    {
        client.displayLabel = QStringLiteral("Cliente");
        signedFlag.displayLabel = QStringLiteral("CHT Assinada");
        signedFlag.onGetText = [](TField& f, QString& text, bool) {
            const QString v = f.asString();
            text = v == QLatin1String("S")   ? QStringLiteral("Sim")
                   : v == QLatin1String("N") ? QStringLiteral("Não")
                                             : QString();
        };
        signedFlag.onSetText = [](TField& f, const QString& text) {
            if (text == QStringLiteral("Sim"))
                f.setAsString(QStringLiteral("S"));
            else if (text == QStringLiteral("Não"))
                f.setAsString(QStringLiteral("N"));
        };
    }

    void load(const std::vector<Row>& rows = sampleRows())
    {
        wire::ColumnTable t({{"IDCHECK", FieldType::Text, 1},
                             {"NMFANTCLIE", FieldType::Text, 50},
                             {"IDCHTASSINADA", FieldType::Text, 1},
                             {"VRFATU", FieldType::Float, 0}});
        for (const Row& r : rows) {
            const std::size_t i = t.appendRow();
            t.setValue(i, 0, r.check);
            t.setValue(i, 1, r.client);
            t.setValue(i, 2, r.signedFlag);
            t.setValue(i, 3, r.value);
        }
        cds.loadFromPacket(std::move(t));
    }
};

/// Collects what the widgets report instead of showing a message box.
struct ErrorCatcher {
    std::vector<std::string> messages;
    ErrorCatcher()
    {
        m_previous = TWidgetErrors::setHandler([this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& ex) {
                messages.emplace_back(ex.what());
            }
        });
    }
    ~ErrorCatcher() { TWidgetErrors::setHandler(std::move(m_previous)); }
    ErrorCatcher(const ErrorCatcher&) = delete;
    ErrorCatcher& operator=(const ErrorCatcher&) = delete;

private:
    TWidgetErrors::Handler m_previous;
};

} // namespace cht::platform::widgets_testing
