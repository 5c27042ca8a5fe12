// Game.to_record and Game.from_record. What a record holds, and every check
// of one, is the business of the package's Python module cellvane._record
// (imported on first use); these methods hand it the game or the record and
// build the game it describes, of the class they were called on.
#include "module/module.hpp"

namespace cellvane::py {

namespace {

// The function `name` of cellvane._record, found in sys.modules once the
// module has been imported.
Ref record_function(const char* name) noexcept {
    Ref module = Ref::steal(PyImport_ImportModule("cellvane._record"));
    if (!module) return Ref();
    return Ref::steal(PyObject_GetAttrString(module.get(), name));
}

}  // namespace

const char TO_RECORD_DOC[] =
    "to_record($self)\n--\n\n"
    "The game as a record: dicts, lists, strings, numbers, booleans and `None`\n"
    "that `json.dumps` takes as they are, and `Game.from_record` reads back.\n"
    "\n"
    "It holds the board size, every committed turn in order (the stone placed,\n"
    "or `None` for a pass, and the ids it captured) and the `metadata` the\n"
    "game was read with. Coordinates come back to the bit through JSON text.\n"
    "Raises `ValueError` for a number JSON cannot hold: a board size that is\n"
    "NaN or infinite.";

const char FROM_RECORD_DOC[] =
    "from_record($type, record, verify=False)\n--\n\n"
    "The game a record describes, as `to_record` writes it.\n"
    "\n"
    "Without `verify` the turns are replayed as `Game.replay` replays a log:\n"
    "each stone and capture list as the record gives it. With `verify` every\n"
    "turn must be the one play makes: its stone carries the id and colour of\n"
    "its turn, stands where `try_move` accepts it and captures exactly what\n"
    "`try_move` captures, and a pass captures nothing. Use it for records from\n"
    "untrusted sources.\n"
    "\n"
    "Raises `ValueError` naming the field of a malformed record (`TypeError`\n"
    "when `record` is not a mapping at all), or the first turn play does not\n"
    "make; a `DeltaError` when a replay without `verify` cannot account for a\n"
    "turn. Nothing is built then. Called on a subclass, answers an instance\n"
    "of it, made as unpickling makes objects: its `__init__` is not run.";

PyObject* game_to_record(PyObject* self, PyObject*) noexcept {
    Ref write = record_function("to_record");
    if (!write) return nullptr;
    return PyObject_CallFunctionObjArgs(write.get(), self, nullptr);
}

PyObject* game_from_record(PyObject* cls, PyObject* args, PyObject* kwargs) noexcept {
    static const char* const names[] = {"record", "verify", nullptr};
    PyObject* record = nullptr;
    int verify = 0;
    if (!parse_args(args, kwargs, "O|p:from_record", names, &record, &verify)) return nullptr;

    // (board_size, deltas, metadata), every field checked, and with `verify`
    // every turn compared with the one play makes.
    Ref read = record_function("read_record");
    if (!read) return nullptr;
    Ref parts = Ref::steal(PyObject_CallFunctionObjArgs(read.get(), record, verify ? Py_True : Py_False, nullptr));
    if (!parts) return nullptr;
    PyObject* board_size = nullptr;
    PyObject* deltas = nullptr;
    PyObject* metadata = nullptr;
    if (!PyArg_ParseTuple(parts.get(), "OOO:read_record", &board_size, &deltas, &metadata)) return nullptr;

    Ref game = Ref::steal(replay_game(reinterpret_cast<PyTypeObject*>(cls), board_size, deltas));
    if (!game) return nullptr;
    Ref keep = record_function("keep_metadata");
    if (!keep) return nullptr;
    Ref kept = Ref::steal(PyObject_CallFunctionObjArgs(keep.get(), game.get(), metadata, nullptr));
    if (!kept) return nullptr;
    return game.release();
}

}  // namespace cellvane::py
