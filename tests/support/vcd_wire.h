// Reads back what went over the two-wire bus from a VCD trace of SCL and SDA, as
// a decoder of recorded traces does: the values under a timestamp hold from that
// time on, so a change is seen only once a later timestamp closes it; changes
// after the file's last timestamp are not seen at all. Each transaction from a
// start to a stop (or the next start) is its bytes, most significant bit first,
// the acknowledge bits left out.
#pragma once
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace qeltest {

struct Wire {
  std::vector<std::vector<std::uint8_t>> transactions;
  bool header = false;          // the definitions were complete
  bool in_transaction = false;  // a start was seen and no stop after it
  bool ordered = true;          // every timestamp was later than the one before
  bool ends_on_timestamp = false;  // the last line is a timestamp, ended by a newline
};

inline Wire ReadWire(const std::string& text) {
  Wire wire;
  std::map<std::string, std::string> names;  // identifier -> SCL / SDA
  bool scl = true, sda = true;                // the lines as seen so far
  bool next_scl = true, next_sda = true;      // as written under the current timestamp
  int bits = 0;
  unsigned byte = 0;
  long stamps = 0;
  long long last_time = -1;

  auto step = [&] {
    if (scl && next_scl && sda && !next_sda) {  // start
      wire.transactions.emplace_back();
      wire.in_transaction = true;
      bits = 0;
      byte = 0;
    } else if (scl && next_scl && !sda && next_sda) {  // stop
      wire.in_transaction = false;
    } else if (!scl && next_scl && wire.in_transaction) {  // a bit, sampled as the clock rises
      if (bits < 8) byte = (byte << 1) | (next_sda ? 1u : 0u);
      if (++bits == 9) {
        wire.transactions.back().push_back(static_cast<std::uint8_t>(byte));
        bits = 0;
        byte = 0;
      }
    }
    scl = next_scl;
    sda = next_sda;
  };

  std::istringstream in(text);
  std::string line;
  bool last_was_stamp = false;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    last_was_stamp = false;
    if (line.rfind("$var", 0) == 0) {
      std::istringstream words(line);
      std::string var, type, width, id, name;
      words >> var >> type >> width >> id >> name;
      names[id] = name;
    } else if (line.rfind("$enddefinitions", 0) == 0) {
      wire.header = true;
    } else if (line[0] == '#') {
      const long long time = std::stoll(line.substr(1));
      if (time <= last_time) wire.ordered = false;
      last_time = time;
      if (stamps == 1) {
        scl = next_scl;
        sda = next_sda;
      } else if (stamps > 1) {
        step();
      }
      ++stamps;
      last_was_stamp = true;
    } else if (line.size() >= 2 && (line[0] == '0' || line[0] == '1')) {
      const auto name = names.find(line.substr(1));
      if (name == names.end()) continue;
      (name->second == "SCL" ? next_scl : next_sda) = line[0] == '1';
    }
  }
  wire.ends_on_timestamp = last_was_stamp && !text.empty() && text.back() == '\n';
  return wire;
}

}  // namespace qeltest
