#include "spatial/MarchReach.h"

#include <algorithm>

namespace FastMarching {

namespace {

// Strongly connected parts of the neighbour relation (iterative Tarjan); parts are numbered so that
// every link between two parts runs from a higher number to a lower one.
std::vector<int> strongParts(const MarchGeometry& geometry, int* nParts)
{
    const int n = geometry.vertexCount();
    std::vector<int> part(size_t(n), -1), order(size_t(n), -1), low(size_t(n), 0);
    std::vector<int> stack, path;
    std::vector<const int*> cursor(size_t(n), nullptr);
    int visited = 0, parts = 0;
    for (int root = 0; root < n; ++root) {
        if (order[size_t(root)] >= 0)
            continue;
        path.push_back(root);
        order[size_t(root)] = low[size_t(root)] = visited++;
        cursor[size_t(root)] = geometry.neighbours(root).begin();
        stack.push_back(root);
        while (!path.empty()) {
            const int v = path.back();
            const int* end = geometry.neighbours(v).end();
            if (cursor[size_t(v)] != end) {
                const int w = *cursor[size_t(v)]++;
                if (order[size_t(w)] < 0) {
                    order[size_t(w)] = low[size_t(w)] = visited++;
                    cursor[size_t(w)] = geometry.neighbours(w).begin();
                    stack.push_back(w);
                    path.push_back(w);
                } else if (part[size_t(w)] < 0) {
                    low[size_t(v)] = std::min(low[size_t(v)], order[size_t(w)]);
                }
                continue;
            }
            path.pop_back();
            if (!path.empty())
                low[size_t(path.back())] = std::min(low[size_t(path.back())], low[size_t(v)]);
            if (low[size_t(v)] != order[size_t(v)])
                continue;
            for (;;) {
                const int w = stack.back();
                stack.pop_back();
                part[size_t(w)] = parts;
                if (w == v)
                    break;
            }
            ++parts;
        }
    }
    *nParts = parts;
    return part;
}

bool logsOnUpdate(const MarchGeometry& geometry, int vertex)
{
    for (const CornerUpdate& corner : geometry.corners(vertex))
        if (corner.kind == CornerUpdate::SkippedFace || corner.unfoldMetZeroLengthFace)
            return true;
    return false;
}

// The source's seeds hold a vertex twice or the source itself: the march may accept one twice.
bool seedsRepeat(const MarchGeometry& geometry, int source)
{
    const Span<int> seeds = geometry.neighbours(source);
    for (const int* i = seeds.begin(); i != seeds.end(); ++i) {
        if (*i == source)
            return true;
        for (const int* j = seeds.begin(); j != i; ++j)
            if (*j == *i)
                return true;
    }
    return false;
}

}  // namespace

MarchReach::MarchReach(const MarchGeometry& geometry, const QVector<bool>& enabled)
{
    if (!geometry.isComplete())
        return;
    const int n = geometry.vertexCount();
    int nParts = 0;
    const std::vector<int> part = strongParts(geometry, &nParts);

    // Per part: its enabled vertices, whether it logs, and its links to other parts.
    std::vector<int> enabledIn(size_t(nParts), 0);
    std::vector<char> logs(size_t(nParts), 0);
    std::vector<std::vector<int>> links(static_cast<size_t>(nParts));
    for (int v = 0; v < n; ++v) {
        const int p = part[size_t(v)];
        if (enabled.value(v, false))
            ++enabledIn[size_t(p)];
        if (logsOnUpdate(geometry, v))
            logs[size_t(p)] = 1;
        for (int w : geometry.neighbours(v))
            if (part[size_t(w)] != p)
                links[size_t(p)].push_back(part[size_t(w)]);
    }

    // Everything a part reaches, by a walk over the parts from each one; the walks together may
    // take a few times the size of the mesh, beyond which the parts left get no count.
    std::vector<int> total(size_t(nParts), -1);
    std::vector<int> seen(size_t(nParts), -1);
    std::vector<int> pending;
    long long budget = 4LL * (n + 16) + 4LL * static_cast<long long>(nParts);
    for (int p = 0; p < nParts && budget > 0; ++p) {
        int count = 0;
        bool logging = false;
        pending.assign(1, p);
        seen[size_t(p)] = p;
        while (!pending.empty() && budget > 0) {
            const int q = pending.back();
            pending.pop_back();
            count += enabledIn[size_t(q)];
            logging = logging || logs[size_t(q)];
            for (int r : links[size_t(q)]) {
                --budget;
                if (seen[size_t(r)] != p) {
                    seen[size_t(r)] = p;
                    pending.push_back(r);
                }
            }
        }
        if (pending.empty() && !logging)
            total[size_t(p)] = count;
    }

    count_.resize(size_t(n));
    for (int v = 0; v < n; ++v)
        count_[size_t(v)] = seedsRepeat(geometry, v) ? -1 : total[size_t(part[size_t(v)])];
}

bool anyCornerLogs(const MarchGeometry& geometry)
{
    for (int v = 0; v < geometry.vertexCount(); ++v)
        if (logsOnUpdate(geometry, v))
            return true;
    return false;
}

}  // namespace FastMarching
