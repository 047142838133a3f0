#pragma once

#include <functional>

class QWidget;

namespace tessaro {

// Shows `window` application-modal, centred over `over`'s window (left where it is when
// there is none), raised and active.
void showCentredModal(QWidget* window, QWidget* over);

// Runs `relabel` after every switch of the interface language, for as long as `window`
// lives: a window left open across a switch must not keep the old language's texts.
void relabelOnLanguageChange(QWidget* window, std::function<void()> relabel);

}  // namespace tessaro
