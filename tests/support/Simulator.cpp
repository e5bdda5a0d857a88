// SPDX-License-Identifier: GPL-3.0-or-later
#include "Simulator.h"

#include <QFile>

#include <sys/resource.h>

#include <csignal>
#include <thread>

TSimulator::TSimulator(std::vector<std::string> options, QString port)
{
    Port = port.isEmpty() ? Dir.filePath(QStringLiteral("loconet")) : port;
    Log = Dir.filePath(QStringLiteral("bytes.log"));
    std::vector<std::string> argv{LOCONET_SIM, "--link", Port.toStdString(), "--log", Log.toStdString(), "--quiet"};
    argv.insert(argv.end(), options.begin(), options.end());
    process_ = std::make_unique<TChildProcess>(argv, TChildProcess::TOptions{{}, true});
    // Its time stamps are when it read a byte, so on a busy machine it should get the processor
    // as soon as a byte comes; where that is not allowed (not root), it runs as it is.
    (void)setpriority(PRIO_PROCESS, id_t(process_->Pid()), -10);
    for (int i = 0; i < 1000 && !QFile::exists(Port) && process_->Running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TSimulator::~TSimulator()
{
    process_->Stop(SIGTERM);
}

void TSimulator::Sync() const
{
    if (!process_->Running())
        return;
    const auto syncs = [this] {
        QFile file(Log);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count(" sync\n") : 0;
    };
    const qsizetype before = syncs();
    process_->Signal(SIGUSR1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    // A simulator that has ended by itself (after a hang-up) has nothing more to read.
    while (syncs() == before && !process_->WaitExit(std::chrono::milliseconds(0)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

std::vector<TSimulator::TLoggedByte> TSimulator::Bytes(const char* direction) const
{
    Sync();
    std::vector<TLoggedByte> bytes;
    QFile file(Log);
    if (!file.open(QIODevice::ReadOnly))
        return bytes;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
        if (fields.size() == 3 && fields[1] == direction)
            bytes.push_back({fields[0].toDouble(), std::uint8_t(fields[2].toInt(nullptr, 16))});
    }
    return bytes;
}

std::vector<LocoNet::TMessage> TSimulator::Received() const
{
    std::vector<LocoNet::TMessage> messages;
    LocoNet::TMessage frame;
    for (const TLoggedByte& b : Bytes("rx")) {
        if (b.Byte & 0x80)
            frame = {b.Byte};
        else if (!frame.empty())
            frame.push_back(b.Byte);
        const int kind = frame.empty() ? 0 : (frame[0] >> 5) & 3;
        const std::size_t length = kind == 3 ? (frame.size() > 1 ? frame[1] : 99) : std::size_t(2 << kind);
        if (!frame.empty() && frame.size() == length) {
            messages.push_back(frame);
            frame.clear();
        }
    }
    return messages;
}
