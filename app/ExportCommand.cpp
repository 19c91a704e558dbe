#include "app/ExportCommand.h"

#include "app/LookupCommand.h"
#include "app/ProgramDir.h"
#include "base/Notice.h"
#include "calllog/CallCsv.h"
#include "calllog/CallLog.h"
#include "calllog/LogRecordSink.h"
#include "phonebook/Phonebook.h"

#include <QDir>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string_view>
#include <unordered_map>

namespace {

/// Turns the loaded records into CSV and writes it out in large pieces.
class CsvSink final : public LogRecordSink
{
public:
    CsvSink(std::FILE *out, const ExportNameResolver &names) : m_out(out), m_names(names)
    {
        m_buffer.reserve(kFlushBytes + 8192);
        m_buffer += CallCsv::kHeader;
    }

    void record(std::string_view text) override
    {
        m_csv.appendRow(m_buffer, text, name(text.substr(0, text.find('\t'))));
        if (m_buffer.size() >= kFlushBytes)
            flush();
    }

    /// False when a write failed.
    bool flush()
    {
        if (!m_buffer.empty() &&
            std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_out) != m_buffer.size())
            m_failed = true;
        m_buffer.clear();
        return !m_failed;
    }

private:
    static constexpr std::size_t kFlushBytes = 1 << 20;

    const std::string &name(std::string_view caller)
    {
        static const std::string none;
        if (!m_names)
            return none;
        // Callers repeat; the phonebook is asked once per number.
        auto it = m_cache.find(std::string(caller));
        if (it == m_cache.end())
            it = m_cache.emplace(std::string(caller), m_names(caller)).first;
        return it->second;
    }

    std::FILE *m_out;
    const ExportNameResolver &m_names;
    CallCsv m_csv;
    std::string m_buffer;
    std::unordered_map<std::string, std::string> m_cache;
    bool m_failed = false;
};

} // namespace

int exportCalls(const std::string &logPath, const std::string &target,
                const ExportNameResolver &names)
{
    const bool toStdout = target == "-";
    std::FILE *out = toStdout ? stdout : std::fopen(target.c_str(), "wb");
    if (!out) {
        notice("Export: " + target + " kann nicht geschrieben werden: " + std::strerror(errno));
        return 1;
    }
    int status = 0;
    {
        CsvSink sink(out, names);
        CallLog log(logPath);
        try {
            log.LogLoad(sink);
        } catch (const std::exception &e) {
            // What was read before the failure is exported all the same.
            notice(std::string("Export: Anrufliste nicht ganz gelesen: ") + e.what());
            status = 1;
        }
        if (!sink.flush())
            status = 1;
    }
    if (toStdout ? std::fflush(out) != 0 : std::fclose(out) != 0)
        status = 1;
    if (status == 1 && !toStdout)
        notice("Export nach " + target + " unvollständig.");
    return status;
}

std::optional<int> exportCommand(int argc, char **argv, const ExportNameResolver &names)
{
    if (argc < 2 || std::strcmp(argv[1], "--export") != 0)
        return std::nullopt;
    if (argc != 3) {
        notice("Aufruf: klingelwacht --export DATEI.csv (oder - für die Standardausgabe)");
        return 2;
    }
    // The log's dates are in the user's locale, as the program wrote them.
    std::setlocale(LC_ALL, "");
    const QString dir = existingProgramDir();
    const std::string logPath = QDir(dir).filePath(QStringLiteral("caller.log")).toStdString();
    if (names)
        return exportCalls(logPath, argv[2], names);
    // Names as the window shows them, from the same address books.
    const std::unique_ptr<Phonebook> phonebook =
        loadPhonebookNow("klingelwacht.INI", dir.toStdString());
    if (!phonebook)
        return exportCalls(logPath, argv[2], {});
    return exportCalls(logPath, argv[2],
                       [&](std::string_view caller) { return phonebook->displayText(caller); });
}
