// kivaro-sim: the headless front end. Loads the item folder as the desktop program
// does, adds field definition files to a world without any device and reports the
// state as JSON Lines on standard output.

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "cli/HeadlessRender.h"
#include "cli/JsonLine.h"
#include "cli/SimOptions.h"
#include "collision/CollisionRegistry.h"
#include "common/WideText.h"
#include "common/WorkingFolder.h"
#include "common/myexception.h"
#include "definition/Calculator.h"
#include "definition/FieldCatalog.h"
#include "physics/FieldItemWorld.h"
#include "physics/WorldTick.h"
#include "tester/ImpactSoundListener.h"
#include "tester/MirelConfig.h"

namespace {

void Print(const JsonLine& line) {
    std::fputs(line.Text().c_str(), stdout);
    std::fputc('\n', stdout);
}

void PrintError(const std::wstring& message) {
    std::cerr << ToUtf8(message) << '\n';
}

int Evaluate(const SimOptions& options) {
    Calculator<double> calculator;
    try {
        Print(JsonLine().Add("result", calculator.Calculate(FromUtf8(options.expression))));
        return 0;
    } catch (const myexception& error) {
        Print(JsonLine().Add("error", std::wstring(error.what())));
        return 1;
    }
}

/// Reads the item folder as an update does and every field as Add does, without adding
/// anything: failing item files first, then each field with its header or its failure.
int Check() {
    FieldCatalog catalog;
    std::vector<FieldCatalog::Failure> failures = catalog.UpdateReportingAll();
    // failures of item definition files (and of resolving them) first, then every field
    // definition file in listing order, with its header or its failure
    std::map<std::wstring, std::wstring> fieldFailures;
    for (const auto& failure : failures) {
        if (catalog.IsFieldPath(failure.path)) {
            fieldFailures[failure.path] = failure.message;
        } else {
            Print(JsonLine().Add("path", failure.path).Add("error", failure.message));
        }
    }
    // every field whose header was read is then made as Add makes it, into a scratch map that
    // no world ever sees, so that every failure Add would show is reported with its text
    std::map<std::wstring, const DefinitionSummary*> summaries;
    bool instantiationFailed = false;
    for (const DefinitionSummary& summary : catalog.Summaries()) {
        try {
            DefinitionParser::ItemMap scratch;
            DefinitionSummary again;
            catalog.Parser().LoadField(summary.path, scratch, again, false);
            summaries[summary.path] = &summary;
        } catch (const myexception& error) {
            fieldFailures[summary.path] = error.what();
            instantiationFailed = true;
        }
    }
    for (const std::wstring& path : catalog.FieldPaths()) {
        if (auto found = summaries.find(path); found != summaries.end()) {
            const DefinitionSummary& summary = *found->second;
            Print(JsonLine()
                      .Add("path", summary.path)
                      .Add("name", summary.name)
                      .Add("author", summary.author)
                      .Add("date", summary.date)
                      .Add("comment", summary.comment));
        } else if (auto failed = fieldFailures.find(path); failed != fieldFailures.end()) {
            Print(JsonLine().Add("path", path).Add("error", failed->second));
        }
    }
    return failures.empty() && !instantiationFailed ? 0 : 1;
}

void Report(long long tick, FieldItemWorld& world) {
    // live members and those still pending (added but not yet committed) together, by name
    std::map<std::wstring, FieldItem*> items;
    for (const auto& [name, item] : world.Members()) {
        items[name] = item.get();
    }
    for (const auto& [name, item] : world.Pending()) {
        items.emplace(name, item.get());
    }
    for (const auto& [name, item] : items) {
        if (FieldItemWorld::IsBuiltInName(name)) {
            continue;
        }
        Print(JsonLine()
                  .Add("tick", tick)
                  .Add("name", name)
                  .Add("type", item->TypeName())
                  .Add("mass", item->Mass())
                  .Add("position", item->Transform().Translation())
                  .Add("orientation", item->Orientation())
                  .Add("velocity", item->Velocity())
                  .Add("angular_velocity", item->AngularVelocity()));
    }
}

/// Kinetic energy (translation and rotation) and potential energy above the land of every user
/// item with the elastic energy of the contact springs, and how many members have a state that is
/// not finite.
void ReportEnergy(long long tick, FieldItemWorld& world) {
    const WorldSettings& settings = world.StepSettings();
    const double surfaceGravity = settings.gravity * settings.gravitationalConstant * settings.earthMass /
                                  (settings.earthRadius * settings.earthRadius);
    double kinetic = 0.0;
    double potential = 0.0;
    long long nonFinite = 0;
    for (const auto& [name, item] : world.Members()) {
        if (FieldItemWorld::IsBuiltInName(name)) {
            continue;
        }
        const double mass = item->Mass();
        const Vector3 v = item->Velocity();
        const Vector3 w = item->AngularVelocity();
        const Matrix4& inertia = item->Inertia();
        const double spin = w.x * (inertia._11 * w.x + inertia._12 * w.y + inertia._13 * w.z) +
                            w.y * (inertia._21 * w.x + inertia._22 * w.y + inertia._23 * w.z) +
                            w.z * (inertia._31 * w.x + inertia._32 * w.y + inertia._33 * w.z);
        const double own = 0.5 * mass * static_cast<double>(Dot(v, v)) + 0.5 * spin;
        const double height = mass * surfaceGravity * item->Transform()._42;
        if (!std::isfinite(own) || !std::isfinite(height)) {
            ++nonFinite;
            continue;
        }
        kinetic += own;
        potential += height;
    }
    // the springs of the contacts hold the rest of the potential energy
    const double elastic = world.ContactSpringEnergy();
    Print(JsonLine()
              .Add("tick", tick)
              .Add("kinetic", kinetic)
              .Add("potential", potential)
              .Add("elastic", elastic)
              .Add("energy", kinetic + potential + elastic)
              .Add("non_finite", nonFinite)
              .Add("softened_contacts", static_cast<long long>(world.Safeguards().softenedContacts))
              .Add("limited_friction", static_cast<long long>(world.Safeguards().limitedFriction))
              .Add("limited_drag", static_cast<long long>(world.Safeguards().limitedDrag))
              .Add("limited_damping", static_cast<long long>(world.Safeguards().limitedDamping))
              .Add("limited_spin", static_cast<long long>(FieldItem::GyroscopicLimits()))
              .Add("limited_release", static_cast<long long>(world.Safeguards().limitedRelease))
              .Add("slow_drag", static_cast<long long>(world.Safeguards().slowDrag))
              .Add("removed", static_cast<long long>(world.Safeguards().removedMembers)));
}

/// Prints every impact with what the tester's impact sound would be asked to play.
class ImpactPrinter : public ImpactListener, private ImpactSound {
public:
    using Printer = std::function<void(const FieldItem& item, double amplitude, const Vector3& position)>;
    explicit ImpactPrinter(Printer print) : print_(std::move(print)) {}

    void OnImpact(const FieldItem& item, double acceleration, const FieldItem* viewer) override {
        item_ = &item;
        sound_.OnImpact(item, acceleration, viewer);
    }

private:
    void Play(double amplitude, double /*decay*/, double /*frequency*/, double dx, double dy,
              double dz) override {
        print_(*item_, amplitude,
               Vector3(static_cast<float>(dx), static_cast<float>(dy), static_cast<float>(dz)));
    }

    Printer print_;
    ImpactSoundListener sound_{*this};
    const FieldItem* item_ = nullptr;
};

long long CountBodies(FieldItemWorld& world) {
    long long bodies = 0;
    for (const auto& [name, item] : world.Members()) {
        bodies += FieldItemWorld::IsBuiltInName(name) ? 0 : 1;
    }
    return bodies;
}

int Run(const SimOptions& options, const std::optional<HeadlessRender::Options>& renderOptions) {
    MirelConfig& config = MirelConfig::Instance();
    // the picture's device first: the items make their meshes and textures on it
    std::unique_ptr<HeadlessRender> render;
    if (renderOptions) {
        try {
            render = std::make_unique<HeadlessRender>(*renderOptions);
        } catch (const myexception& error) {
            PrintError(L"kivaro-sim: " + std::wstring(error.what()));
            return 2;
        }
    }
    if (options.step) {
        config.timeStep = *options.step;
    }
    if (options.gravity) {
        config.gravity = *options.gravity;
    }
    if (options.restitution) {
        config.restitution = *options.restitution;
    }
    if (options.friction) {
        config.friction = *options.friction;
    }
    if (options.staticFriction) {
        config.staticFriction = *options.staticFriction;
    }
    if (options.dragDivisor) {
        config.dragDivisor = *options.dragDivisor;
    }
    if (options.threads) {
        config.processorCount = *options.threads;
    }

    FieldCatalog catalog;
    RegisterCollisionDetectors();
    auto world = std::make_unique<FieldItemWorld>(nullptr, config.processorCount);
    world->SetSettings(config.StepSettings());
    // as the desktop program adds one field per tick: each field's items go live before the next
    // field is added, so that each is lifted clear of what is already there
    auto addFields = [&] {
        for (const std::string& field : options.fields) {
            catalog.Add(FromUtf8(field), *world);
            world->CommitPending();
            world->UpdateWorld(nullptr, nullptr);
        }
    };
    // a failing load ends the run with its message
    auto failLoad = [&](const myexception& error) {
        PrintError(error.what());
        world.reset();
        DestroyCollisionDetectors();
        return 2;
    };
    try {
        catalog.Update();
        world->Initialize(Placement{});
        // the built-in members go live first, as after the desktop program's first tick,
        // so that the local player's height is known to the additions
        world->CommitPending();
        world->UpdateWorld(nullptr, nullptr);
        addFields();
    } catch (const myexception& error) {
        return failLoad(error);
    }

    // a push names a member that must be there when its tick starts
    auto missingPush = [&](const SimOptions::Push& push) {
        std::cerr << "kivaro-sim: --push: no world member named " << push.name << " at tick " << push.tick
                  << '\n'
                  << SimOptions::Usage();
        world.reset();
        DestroyCollisionDetectors();
        return 2;
    };
    auto pushTarget = [&](const SimOptions::Push& push) -> FieldItem* {
        const std::wstring name = FromUtf8(push.name);
        return FieldItemWorld::IsBuiltInName(name) ? nullptr : world->Find(name);
    };
    // without refills the members are known now: a wrong name fails before any output
    for (const SimOptions::Push& push : options.pushes) {
        if ((options.refill == 0 || push.tick <= options.refill) && pushTarget(push) == nullptr) {
            return missingPush(push);
        }
    }

    long long tick = 0;
    int step = 0;
    bool reporting = false;
    // the listeners print from inside the steps: their time is taken out of the steps' time
    using Clock = std::chrono::steady_clock;
    Clock::duration printTime{};
    auto timedPrint = [&](const std::function<JsonLine()>& line) {
        Clock::time_point begin = Clock::now();
        Print(line());
        printTime += Clock::now() - begin;
    };
    if (options.contacts) {
        world->SetContactListener([&](FieldItem& first, FieldItem& second, const Contact& contact) {
            if (!reporting) {
                return;
            }
            timedPrint([&] {
                return JsonLine()
                    .Add("tick", tick)
                    .Add("step", step)
                    .Add("first", first.Name())
                    .Add("second", second.Name())
                    .Add("distance", contact.distance)
                    .Add("point", contact.point)
                    .Add("normal", contact.normal);
            });
        });
    }
    ImpactPrinter impacts([&](const FieldItem& item, double amplitude, const Vector3& position) {
        timedPrint([&] {
            return JsonLine()
                .Add("tick", tick)
                .Add("step", step)
                .Add("impact", item.Name())
                .Add("amplitude", amplitude)
                .Add("position", position);
        });
    });
    if (options.impacts) {
        world->SetImpactListener(&impacts);
    }

    Clock::duration stepTime{};
    long long steps = 0;
    long long bodySteps = 0;
    for (tick = 1; tick <= options.ticks; ++tick) {
        bool reportTick = tick == options.ticks || (options.every > 0 && tick % options.every == 0);
        reporting = reportTick;
        // a shove at the start of its tick, in world axes
        for (const SimOptions::Push& push : options.pushes) {
            if (push.tick != tick) {
                continue;
            }
            FieldItem* target = pushTarget(push);
            if (target == nullptr) {
                return missingPush(push);
            }
            target->Velocity() =
                Vector3(static_cast<float>(push.velocity[0]), static_cast<float>(push.velocity[1]),
                        static_cast<float>(push.velocity[2]));
        }
        long long bodies = CountBodies(*world);
        // the configuration is copied in as the tester does it before every tick
        world->SetSettings(config.StepSettings());
        Clock::time_point start = Clock::now();
        int tickSteps = RunTick(*world, nullptr, [&](int index) { step = index; });
        stepTime += Clock::now() - start;
        steps += tickSteps;
        bodySteps += bodies * tickSteps;
        if (reportTick) {
            Report(tick, *world);
            if (options.energy) {
                ReportEnergy(tick, *world);
            }
        }
        // as the toolbox's delete-all followed by Add: the removed items are purged first, so
        // that the new ones are not lifted over them
        if (options.refill > 0 && tick % options.refill == 0 && tick != options.ticks) {
            world->RemoveUserItems();
            world->PurgeDeleted();
            try {
                addFields();
            } catch (const myexception& error) {
                return failLoad(error);
            }
        }
    }
    if (options.ticks == 0) {
        Report(0, *world);
    }
    if (options.timing) {
        double seconds = std::chrono::duration<double>(stepTime - printTime).count();
        Print(
            JsonLine()
                .Add("ticks", options.ticks)
                .Add("steps", steps)
                .Add("step_seconds", seconds)
                .Add("body_steps_per_second", seconds > 0.0 ? static_cast<double>(bodySteps) / seconds : 0.0)
                // the world's own phase clocks (the initial placement and the ticks' ends included)
                .Add("contacts_seconds", world->TotalStepTiming().contacts)
                .Add("forces_seconds", world->TotalStepTiming().forces)
                .Add("integration_seconds", world->TotalStepTiming().integration)
                .Add("refresh_seconds", world->TotalStepTiming().refresh)
                // how often the steps changed between shared out and on one thread
                .Add("share_mode_changes", world->ShareModeChanges()));
    }
    int status = 0;
    if (render) {
        try {
            render->Draw(*world);
        } catch (const myexception& error) {
            PrintError(L"kivaro-sim: " + std::wstring(error.what()));
            status = 2;
        }
    }
    std::fflush(stdout);
    world.reset();
    DestroyCollisionDetectors();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    // the one option that is not a run: the usage on standard output
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help") {
            std::cout << SimOptions::Usage() << HeadlessRender::Usage();
            return 0;
        }
    }
    SimOptions options;
    std::optional<HeadlessRender::Options> renderOptions;
    try {
        // the picture's options are the picture's own; the rest are the run's
        std::vector<std::string> arguments(argv, argv + argc);
        renderOptions = HeadlessRender::TakeOptions(arguments);
        std::vector<const char*> runArguments;
        for (const std::string& argument : arguments) {
            runArguments.push_back(argument.c_str());
        }
        options = SimOptions::Parse(static_cast<int>(runArguments.size()), runArguments.data());
        if (renderOptions && options.mode != SimOptions::Mode::kRun) {
            throw std::invalid_argument("--render goes with a run, not with --eval or --check");
        }
    } catch (const std::invalid_argument& error) {
        std::cerr << "kivaro-sim: " << error.what() << '\n' << SimOptions::Usage() << HeadlessRender::Usage();
        return 2;
    }
    if (!options.root.empty() && chdir(options.root.c_str()) != 0) {
        std::cerr << "kivaro-sim: cannot change into " << options.root << '\n';
        return 2;
    }
    // without --root, the desktop program's working folder
    if (options.root.empty()) {
        try {
            WorkingFolder::Enter();
        } catch (const myexception& error) {
            PrintError(L"kivaro-sim: " + std::wstring(error.what()));
            return 2;
        }
    }
    switch (options.mode) {
    case SimOptions::Mode::kEval:
        return Evaluate(options);
    case SimOptions::Mode::kCheck:
        return Check();
    case SimOptions::Mode::kRun:
        break;
    }
    return Run(options, renderOptions);
}
