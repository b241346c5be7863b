#pragma once

#include <QString>

#include <functional>

struct LinkFixture;
class QmlHarness;

// Every screen of the window in every state worth seeing, each built offscreen in turn on the
// fake central and virtual time: what the gallery renders and what the accessibility suite reads.
namespace Gallery {

// Called while one state is on screen; false when it could not do its job.
using Visit = std::function<bool(const QString& name, QmlHarness& ui, LinkFixture& link)>;

// Shows each state in turn and visits it; returns how many failed to load or to be visited.
int forEachShot(const Visit& visit);

} // namespace Gallery
