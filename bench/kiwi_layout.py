#!/usr/bin/python3
"""The stack benchmark of bench/layout.cpp on Debian's python3-kiwisolver, for a side-by-side
comparison: the same system (stack S pinned at (0, 0), 400 wide; N views appended with leading
and trailing sides, a fixed height, the last margin moved down and a glue constraint), and the
same three steps: build and solve, remove the middle view and glue its neighbours, change the
stack's width constant. Prints one line per step and N, in milliseconds (best of the runs).

    /usr/bin/python3 bench/kiwi_layout.py [N ...]      (default: 100 1000 3000)
    /usr/bin/time -v /usr/bin/python3 bench/kiwi_layout.py 10000     (peak memory)
"""

import sys
import time

import kiwisolver as kiwi

REQUIRED = "required"


class Item:
    def __init__(self, name):
        self.left = kiwi.Variable(name + ".left")
        self.right = kiwi.Variable(name + ".right")
        self.top = kiwi.Variable(name + ".top")
        self.bottom = kiwi.Variable(name + ".bottom")


class Stack:
    def __init__(self, n):
        self.solver = kiwi.Solver()
        self.by_item = {}
        self.items_of = {}
        self.s = Item("S")
        self.add(self.s, None, self.s.left == 0)
        self.add(self.s, None, self.s.top == 0)
        self.width = self.add(self.s, None, self.s.right - self.s.left == 400)
        self.views = []
        self.last_margin = None
        for i in range(n):
            self.append(i)

    def add(self, a, b, constraint):
        self.solver.addConstraint(constraint)
        items = [item for item in (a, b) if item is not None]
        self.items_of[constraint] = items
        for item in items:
            self.by_item.setdefault(id(item), set()).add(constraint)
        return constraint

    def remove(self, constraint):
        self.solver.removeConstraint(constraint)
        for item in self.items_of.pop(constraint):
            self.by_item[id(item)].discard(constraint)

    def remove_item(self, item):
        # The toolkit's rule: a view leaving its superview takes every constraint involving it.
        for c in list(self.by_item.get(id(item), ())):
            self.remove(c)

    def place(self, v, i):
        self.add(v, self.s, v.left == self.s.left + 20)
        self.add(v, self.s, self.s.right == v.right + 20)
        self.add(v, None, v.bottom - v.top == 20 + i % 7)

    def glue(self, upper, lower):
        return self.add(upper, lower, lower.top == upper.bottom + 8)

    def append(self, i):
        v = Item("v%d" % i)
        self.views.append(v)
        self.place(v, i)
        if self.last_margin is not None:
            self.remove(self.last_margin)
        if len(self.views) == 1:
            self.add(v, self.s, v.top == self.s.top + 20)
        else:
            self.glue(self.views[-2], v)
        self.last_margin = self.add(v, self.s, self.s.bottom == v.bottom + 20)


def best_of(runs, step):
    best = float("inf")
    for _ in range(runs):
        best = min(best, step())
    return best * 1000.0


def build(n):
    start = time.perf_counter()
    stack = Stack(n)
    stack.solver.updateVariables()
    return time.perf_counter() - start


def remove_middle(stack):
    mid = len(stack.views) // 2
    above, gone, below = stack.views[mid - 1], stack.views[mid], stack.views[mid + 1]
    start = time.perf_counter()
    stack.remove_item(gone)
    stack.glue(above, below)
    stack.solver.updateVariables()
    elapsed = time.perf_counter() - start
    # Put the view back for the next run (not timed).
    stack.remove_item(below)
    stack.place(below, mid + 1)
    stack.place(gone, mid)
    stack.glue(above, gone)
    stack.glue(gone, below)
    stack.glue(below, stack.views[mid + 2])
    return elapsed


def change_width(stack, state={"w": 400}):
    start = time.perf_counter()
    stack.remove(stack.width)
    state["w"] = 401 if state["w"] == 400 else 400
    stack.width = stack.add(stack.s, None, stack.s.right - stack.s.left == state["w"])
    stack.solver.updateVariables()
    return time.perf_counter() - start


def main():
    sizes = [int(a) for a in sys.argv[1:]] or [100, 1000, 3000]
    print("kiwisolver %s" % kiwi.__version__)
    for n in sizes:
        runs = 3 if n <= 1000 else 1
        print("kiwi build+solve        N=%-6d %12.3f ms" % (n, best_of(runs, lambda: build(n))), flush=True)
        stack = Stack(n)
        stack.solver.updateVariables()
        print("kiwi remove+reglue      N=%-6d %12.3f ms" % (n, best_of(runs, lambda: remove_middle(stack))), flush=True)
        print("kiwi change width       N=%-6d %12.3f ms" % (n, best_of(runs, lambda: change_width(stack))), flush=True)


if __name__ == "__main__":
    main()
