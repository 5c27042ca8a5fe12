// Game.svg and the notebook picture: the picture for people, drawn by the
// renderer from the game's board.
#include <cmath>

#include "module/module.hpp"
#include "render/render.hpp"

namespace cellvane::py {

namespace {

std::string picture_of(const Board& board, const void* options) {
    return picture(board, *static_cast<const PictureOptions*>(options));
}

// `highlight`: any iterable of stone ids, a set as well as a list.
bool to_highlighted(PyObject* obj, std::vector<std::uint32_t>& out) {
    Ref items = Ref::borrow(obj);
    if (!PyUnicode_Check(obj) && !PySequence_Check(obj)) {
        items = Ref::steal(PySequence_List(obj));
        if (!items) {
            name_argument("highlight");
            return false;
        }
    }
    return to_u32_list(items.get(), "highlight", out);
}

}  // namespace

PyObject* game_svg(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"size", "hatch", "territory", "labels", "coordinates", "highlight", nullptr};
    PyObject* size_arg = nullptr;
    PyObject* highlight_arg = nullptr;
    int hatch = 1;
    int territory = 1;
    int labels = 1;
    int coordinates = 1;
    if (!parse_args(args, kwargs, "|O$ppppO:svg", names, &size_arg, &hatch, &territory, &labels, &coordinates,
                    &highlight_arg)) {
        return nullptr;
    }
    PictureOptions options;
    if (size_arg && !to_double(size_arg, "size", options.size)) return nullptr;
    if (!(options.size > 0.0 && std::isfinite(options.size))) {
        PyErr_Format(PyExc_ValueError, "size must be a positive number of pixels, not %R", size_arg);
        return nullptr;
    }
    if (highlight_arg && !to_highlighted(highlight_arg, options.highlighted)) return nullptr;
    options.hatch = hatch != 0;
    options.territory = territory != 0;
    options.labels = labels != 0;
    options.coordinates = coordinates != 0;
    return draw_game(self, picture_of, &options);
}

PyObject* game_repr_svg(PyObject* self, PyObject*) {
    const PictureOptions options;
    return draw_game(self, picture_of, &options);
}

}  // namespace cellvane::py
