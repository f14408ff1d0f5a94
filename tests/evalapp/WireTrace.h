// The transactions of a VCD trace of SCL and SDA (vcd_wire.h) as Qt lists.
#pragma once
#include <QFile>
#include <QList>
#include <cstdint>

#include "vcd_wire.h"

using Transaction = QList<uint8_t>;

inline QList<Transaction> Transactions(const QString& vcdPath) {
  QFile file(vcdPath);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QList<Transaction> found;
  for (const auto& bytes : qeltest::ReadWire(file.readAll().toStdString()).transactions)
    found.append(Transaction(bytes.begin(), bytes.end()));
  return found;
}
