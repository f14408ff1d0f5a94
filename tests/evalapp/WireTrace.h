// Reads back what went over the two-wire bus from a VCD trace of SCL and SDA:
// each transaction from a start to a stop (or the next start) as its bytes, most
// significant bit first, the acknowledge bits left out.
#pragma once
#include <QFile>
#include <QList>
#include <QMap>
#include <QTextStream>
#include <cstdint>

using Transaction = QList<uint8_t>;

inline QList<Transaction> Transactions(const QString& vcdPath) {
  QFile file(vcdPath);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QMap<QChar, QString> names;  // identifier -> SCL / SDA
  QMap<QString, bool> line{{"SCL", true}, {"SDA", true}};
  QList<Transaction> found;
  bool inTransaction = false;
  int bits = 0;
  unsigned byte = 0;

  auto step = [&](bool scl, bool sda) {
    const bool oldScl = line["SCL"], oldSda = line["SDA"];
    if (oldScl && scl && oldSda && !sda) {  // start
      found.append(Transaction{});
      inTransaction = true;
      bits = 0;
      byte = 0;
    } else if (oldScl && scl && !oldSda && sda) {  // stop
      inTransaction = false;
    } else if (!oldScl && scl && inTransaction) {  // a bit, sampled as the clock rises
      if (bits < 8) byte = (byte << 1) | (sda ? 1u : 0u);
      if (++bits == 9) {
        found.last().append(static_cast<uint8_t>(byte));
        bits = 0;
        byte = 0;
      }
    }
    line["SCL"] = scl;
    line["SDA"] = sda;
  };

  // Every timestamp closes the step before it; the values under the first one are
  // the lines' state at the start of the trace.
  QTextStream in(&file);
  bool scl = true, sda = true;
  int stamps = 0;
  auto close = [&] {
    if (stamps == 1) {
      line["SCL"] = scl;
      line["SDA"] = sda;
    } else if (stamps > 1) {
      step(scl, sda);
    }
  };
  while (!in.atEnd()) {
    const QString text = in.readLine().trimmed();
    if (text.startsWith("$var")) {
      const QStringList parts = text.split(' ', Qt::SkipEmptyParts);
      if (parts.size() >= 5) names[parts[3].at(0)] = parts[4];
    } else if (text.startsWith('#')) {
      close();
      ++stamps;
    } else if (text.size() == 2 && (text[0] == '0' || text[0] == '1') && names.contains(text[1])) {
      (names[text[1]] == "SCL" ? scl : sda) = text[0] == '1';
    }
  }
  close();
  return found;
}
