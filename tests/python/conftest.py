"""Helpers shared by the Python tests."""

import cellvane


def random_play(game, rng, turns, *, undo_share=0.0, pass_when_stuck=True, pass_on_self_capture=True):
    """Random moves snapped to placeable points, until `turns` calls or the
    end of the game. Where no point is placeable: a pass, or the end of the
    play without `pass_when_stuck`. A refused self-capture: a pass, or
    nothing without `pass_on_self_capture`. With `undo_share`, that share of
    the calls is an undo instead (drawn before the point)."""
    size = game.board_size
    for _ in range(turns):
        if game.status.has_ended():
            break
        if undo_share and rng.random() < undo_share:
            game.undo_move()
            continue
        spot = game.nearest_living_move((rng.uniform(0.0, size), rng.uniform(0.0, size)))
        if spot is None:
            if not pass_when_stuck:
                break
            game.pass_turn()
            continue
        try:
            game.try_move(spot)
        except cellvane.SelfCaptureError:
            if pass_on_self_capture:
                game.pass_turn()
    return game
