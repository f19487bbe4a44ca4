#include "library/player.h"
#include "tests/support/manual_player.h"
#include "tests/support/music_set.h"
#include "tests/support/score_builder.h"
#include "tests/support/voice_set_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tambelo {
namespace {

using testing::Bytes;
using testing::ManualPlayer;
using testing::Phrase;
using testing::ScoreBuilder;
using testing::TempDir;

// Random sequences of the seven calls, each followed by passes on a virtual
// clock, checked after every step against a small model of the request rules.
// TAMBELO_MODEL_SEED replays a run; a failing sequence is shrunk first.

enum class Call { initialize, release, open_file, play_music, stop_music, get_next, get_prev };
enum class Paths { set, missing, garbage, overlong, folder };

struct Step {
    Call call;
    std::int32_t number = 0;  // play_music, get_next, get_prev
    Paths paths = Paths::set;  // open_file
    int passes = 1;
};

std::string describe(const Step& step)
{
    static const char* calls[] = {"initialize", "release",  "open_file", "play_music",
                                  "stop_music", "get_next", "get_prev"};
    static const char* paths[] = {"set", "missing", "garbage", "overlong", "folder"};
    std::ostringstream text;
    text << calls[static_cast<int>(step.call)];
    if (step.call == Call::open_file)
        text << '(' << paths[static_cast<int>(step.paths)] << ')';
    else if (step.call == Call::play_music || step.call == Call::get_next || step.call == Call::get_prev)
        text << '(' << step.number << ')';
    if (step.call == Call::initialize || step.call == Call::release)
        return text.str();
    return text.str() + ", " + std::to_string(step.passes) + " pass(es)";
}

// The set: tracks 1 and 2 loop, track 3 is not a score.
constexpr std::int32_t track_count = 3;
bool compiles(Paths paths, std::int32_t track)
{
    return paths == Paths::set && (track == 1 || track == 2);
}

// What the rules say the library does.
struct Model {
    bool alive = false;
    Paths paths = Paths::missing;  // empty paths before the first open_file
    std::int32_t last = 0;
    bool declined = false;
    std::int32_t playing = 0;

    std::int32_t wanted() const { return declined ? 0 : last; }
};

class Files {
public:
    Files()
    {
        auto score = [](int tempo) {
            ScoreBuilder builder;
            builder.channel(0, {builder.add(Phrase().tempo(tempo).note(1, 96).rest(96))});
            return builder.build();
        };
        std::vector<Bytes> voices(track_count, testing::VoiceSetBuilder().build());
        set_ = testing::write_music_set(folder_, {score(90), score(110), Bytes(300, 1)}, voices);
        garbage_ = folder_.write("garbage.dat", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'a', 'r', 'c'});
        folder_path_ = (folder_.path() / "folder.dat").string();
        std::filesystem::create_directory(folder_path_);
    }

    void open(Player& player, Paths paths) const
    {
        const std::string overlong(path_capacity + 10, 'x');
        switch (paths) {
        case Paths::set: open_file(player, set_.score.c_str(), set_.voice.c_str()); break;
        case Paths::missing: open_file(player, "/nonexistent/amus.dat", "/nonexistent/amus.mda"); break;
        case Paths::garbage: open_file(player, garbage_.c_str(), garbage_.c_str()); break;
        case Paths::overlong: open_file(player, overlong.c_str(), overlong.c_str()); break;
        case Paths::folder: open_file(player, folder_path_.c_str(), folder_path_.c_str()); break;
        }
    }

private:
    TempDir folder_;
    testing::MusicSetPaths set_;
    std::string garbage_;
    std::string folder_path_;
};

std::int32_t random_number(std::mt19937& random, const Model& model)
{
    static const std::int32_t numbers[] = {0, 1, 2, 3, 4, -1, INT32_MIN, INT32_MAX};
    if (random() % 4 == 0)
        return model.last;  // the same number again
    return numbers[random() % std::size(numbers)];
}

std::vector<Step> random_sequence(std::mt19937& random)
{
    std::vector<Step> steps{{Call::initialize}};
    Model shadow;  // only to pick "the same number" sensibly
    const int length = 5 + static_cast<int>(random() % 30);
    for (int i = 0; i < length; ++i) {
        Step step;
        const auto pick = random() % 20;
        step.call = pick < 1 ? Call::release : pick < 2 ? Call::initialize : pick < 5 ? Call::open_file
                  : pick < 11 ? Call::play_music : pick < 13 ? Call::stop_music
                  : pick < 17 ? Call::get_next : Call::get_prev;
        step.paths = static_cast<Paths>(random() % 5);
        step.number = random_number(random, shadow);
        step.passes = static_cast<int>(random() % 3);
        if (step.call == Call::play_music)
            shadow.last = step.number;
        steps.push_back(step);
    }
    return steps;
}

// Runs `steps`; answers a description of the first disagreement, if any.
std::optional<std::string> run(const std::vector<Step>& steps, const Files& files)
{
    std::unique_ptr<ManualPlayer> harness;
    Model model;
    for (std::size_t index = 0; index < steps.size(); ++index) {
        const Step& step = steps[index];
        auto fail = [&](const std::string& what) {
            return "step " + std::to_string(index + 1) + " (" + describe(step) + "): " + what;
        };
        if (step.call == Call::initialize) {
            if (!harness) {
                harness = std::make_unique<ManualPlayer>();
                model = Model{};
                model.alive = true;
            }
            continue;
        }
        if (step.call == Call::release) {
            harness.reset();
            model.alive = false;
            continue;
        }
        if (!harness)
            continue;  // calls without a Player do nothing
        Player& player = harness->player();
        harness->clear_messages();

        switch (step.call) {
        case Call::open_file:
            files.open(player, step.paths);
            model.paths = step.paths == Paths::overlong || step.paths == Paths::folder ? Paths::missing
                                                                                        : step.paths;
            break;
        case Call::play_music:
            play_music(player, step.number);
            if (step.number != model.last) {
                model.last = step.number;
                model.declined = false;
            }
            break;
        case Call::stop_music:
            stop_music(player);
            model.last = 0;
            model.declined = false;
            break;
        case Call::get_next: {
            const std::int32_t answer = get_next(player, step.number);
            if (model.paths == Paths::missing) {
                if (answer != 0)
                    return fail("get_next answered " + std::to_string(answer) + ", not 0");
            } else if (model.paths == Paths::set && step.number >= 0) {
                const std::int32_t expected = step.number < track_count ? step.number + 1 : step.number;
                if (answer != expected)
                    return fail("get_next answered " + std::to_string(answer));
            } else if (answer != step.number && answer != step.number + 1) {
                return fail("get_next answered " + std::to_string(answer));
            }
            break;
        }
        case Call::get_prev: {
            const std::int32_t expected = step.number <= 1 ? 1 : step.number - 1;
            if (get_prev(player, step.number) != expected)
                return fail("get_prev answered " + std::to_string(get_prev(player, step.number)));
            break;
        }
        default: break;
        }

        harness->run_passes(step.passes);
        bool silenced = false, started = false;
        if (step.passes > 0 && model.wanted() != model.playing) {
            silenced = true;
            model.playing = 0;
            if (model.wanted() != 0) {
                if (compiles(model.paths, model.wanted())) {
                    model.playing = model.wanted();
                    started = true;
                } else {
                    model.declined = true;
                }
            }
        }
        const auto texts = harness->message_texts();
        const bool saw_silence = std::find(texts.begin(), texts.end(), "B0 78 00") != texts.end();
        const bool saw_start = std::any_of(texts.begin(), texts.end(),
                                           [](const std::string& text) { return text.starts_with("F0 41"); });
        if (player.current_track != model.playing)
            return fail("playing " + std::to_string(player.current_track) + ", expected " +
                        std::to_string(model.playing));
        if (last_request(player) != model.last || requested_track(player) != model.wanted())
            return fail("request " + std::to_string(requested_track(player)) + " (last " +
                        std::to_string(last_request(player)) + "), expected " +
                        std::to_string(model.wanted()) + " (last " + std::to_string(model.last) + ")");
        if (saw_silence != silenced || saw_start != started)
            return fail(std::string(saw_start ? "a track started" : "no track started") + " and " +
                        (saw_silence ? "the device was silenced" : "nothing was silenced") +
                        ", expected otherwise");
    }
    return std::nullopt;
}

// Drops steps one at a time while the sequence still fails.
std::vector<Step> shrink(std::vector<Step> steps, const Files& files)
{
    for (bool smaller = true; smaller;) {
        smaller = false;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            std::vector<Step> without = steps;
            without.erase(without.begin() + static_cast<std::ptrdiff_t>(i));
            if (run(without, files)) {
                steps = std::move(without);
                smaller = true;
                break;
            }
        }
    }
    return steps;
}

TEST(PlayerModel, RandomCallSequencesFollowTheRequestRules)
{
    const char* chosen = std::getenv("TAMBELO_MODEL_SEED");
    const unsigned seed = chosen ? static_cast<unsigned>(std::strtoul(chosen, nullptr, 10)) : 20261207u;
    std::mt19937 random(seed);
    const Files files;
    for (int sequence = 0; sequence < 2000; ++sequence) {
        const std::vector<Step> steps = random_sequence(random);
        if (!run(steps, files))
            continue;
        const std::vector<Step> shrunk = shrink(steps, files);
        std::string listing;
        for (const Step& step : shrunk)
            listing += "\n  " + describe(step);
        FAIL() << "seed " << seed << ", sequence " << sequence << ": " << *run(shrunk, files)
               << "\nshrunk to:" << listing;
    }
}

}  // namespace
}  // namespace tambelo
