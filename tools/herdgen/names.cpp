#include "tools/herdgen/names.h"

#include <string>

#include "tools/herdgen/random.h"

namespace ovista::herdgen {
namespace {

std::string Word(Rng& rng) {
    static const char* const kFirst[] = {"Kar", "Mor", "Tal", "Wen", "Bran", "Hal", "Rim", "Ota",
                                         "Fen", "Dar", "Kel", "Ash", "Tor", "Lan", "Mer", "Cal"};
    static const char* const kLast[] = {"vale", "ridge", "worth", "ton", "more", "lea", "bury",
                                        "ford", "hurst", "wick", "ley", "dene"};
    return std::string(kFirst[rng.Int(0, 15)]) + kLast[rng.Int(0, 11)];
}

}  // namespace

void NameHerd(SimulatedHerd& herd) {
    Rng rng(StreamSeed(herd.request.seed, static_cast<std::uint64_t>(herd.request.index), 3));
    herd.herdNumber = std::to_string(rng.Int(10, 99) * 10000 + herd.request.index % 10000);
    static const char kInitials[] = "ABCDEGHJKLMNPRSTW";
    const std::string surname = Word(rng);
    switch (rng.Int(0, 2)) {
        case 0:
            herd.owner = surname + ", " + kInitials[rng.Int(0, 16)] + " & " + kInitials[rng.Int(0, 16)];
            break;
        case 1:
            herd.owner = surname + " Farms Ltd, " + kInitials[rng.Int(0, 16)] + ". " + Word(rng);
            break;
        default:
            herd.owner = surname + ", " + kInitials[rng.Int(0, 16)] + "." + kInitials[rng.Int(0, 16)] + ".";
    }
    static const char* const kRoads[] = {"Road", "Road", "Lane", "Valley Road", "Highway", "Track"};
    herd.address = std::to_string(rng.Int(12, 2900)) + " " + Word(rng) + " " + kRoads[rng.Int(0, 5)] +
                   ", RD " + std::to_string(rng.Int(1, 9)) + ", " + Word(rng);
}

}  // namespace ovista::herdgen
