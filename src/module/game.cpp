// The Game class: the host's handle on one board.
#include "module/module.hpp"

namespace cellvane::py {

namespace {

struct GameObject {
    PyObject_HEAD
};

PyType_Slot game_slots[] = {
    {Py_tp_doc, const_cast<char*>("Game(board_size)\n--\n\n"
                                  "A game of Cellvane: the board, the rules, and the history to undo them.\n"
                                  "\n"
                                  "Example::\n"
                                  "\n"
                                  "    import cellvane as cv\n"
                                  "\n"
                                  "    game = cv.Game(board_size=18)\n"
                                  "    game.try_move((4.0, 4.0))\n"
                                  "    game.pass_turn()\n"
                                  "    game.undo_move()\n"
                                  "    black, white = game.territory()")},
    {0, nullptr},
};

PyType_Spec game_spec = {
    "cellvane.Game",
    static_cast<int>(sizeof(GameObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    game_slots,
};

}  // namespace

PyObject* make_game_type(PyObject* module) noexcept { return PyType_FromModuleAndSpec(module, &game_spec, nullptr); }

}  // namespace cellvane::py
