#include "numerics/SparseSolver/splm_supernodal.h"

#include "numerics/ParallelChunks.h"

#include <QThreadPool>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

// The BLAS and LAPACK routines cholmod_super_numeric calls, through the same Fortran entries.
extern "C" {
void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k, const double* alpha, const double* a,
            const int* lda, const double* beta, double* c, const int* ldc);
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* b, const int* ldb, const double* beta, double* c,
            const int* ldc);
void dtrsm_(const char* side, const char* uplo, const char* transa, const char* diag, const int* m, const int* n,
            const double* alpha, const double* a, const int* lda, double* b, const int* ldb);
void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info);
}

namespace {

// One descendant's update of a supernode: the descendant, the offset of its first row in the
// supernode's columns, and how many of its rows lie in those columns.
struct Update {
    int descendant;
    int offset;
    int rowsInColumns;
};

// A part of the plan: a supernode of its own, or a whole branch of small ones.
struct Units {
    std::vector<int> offsets;     // supernodes of unit u: supernodes[offsets[u] .. offsets[u + 1])
    std::vector<int> supernodes;  // in ascending order within a unit: children before parents
    std::vector<int> parent;      // the unit that waits for this one, -1 for none
    std::vector<int> waits;       // how many units each one waits for
    std::vector<int> firstReady;  // the units that wait for none, costliest first
    std::vector<char> lone;       // the unit is one supernode above the branches
};

// What one thread needs to factorise supernodes: where each row of the current supernode lies in
// it, where each row of a descendant's update lies, and the update matrix.
struct Workspace {
    std::vector<int> map;
    std::vector<int> relativeMap;
    std::unique_ptr<double[]> update;  // written before it is read
    Workspace(int n, size_t largestUpdate)
        : map(size_t(n), -1), relativeMap(size_t(n)), update(new double[largestUpdate])
    {}
};

// A supernode with many updates, taken apart: the update matrices computed side by side in
// chunks of updates, then subtracted side by side in chunks of its columns (each entry still takes
// every subtraction in the planned order, as a column belongs to one chunk), then factorised.
struct Split {
    int supernode;
    std::vector<int> productChunks;  // update chunks: updates [productChunks[c], productChunks[c + 1])
    std::vector<int> columnChunks;   // column chunks: columns [columnChunks[c], columnChunks[c + 1])
    std::vector<size_t> offsets;     // per update of the supernode (from its first), where its matrix lies
};

// Room for the update matrices of a split supernode, kept for later factorisations.
struct SplitBuffer {
    size_t capacity = 0;
    std::unique_ptr<double[]> values;
};

// Floating-point operations of updates from which a lone supernode is taken apart.
constexpr double kSplitFlops = 2e6;
// Chunks per thread of a split supernode's updates and columns.
constexpr int kChunksPerWorker = 2;

// Each branch holds at most this share of the work per thread, so that the branches even out.
constexpr double kBranchesPerWorker = 4.0;

}  // namespace

struct splm_supernodal_plan {
    // Workspaces kept between factorisations, taken and given back by a factorisation's threads.
    std::mutex spareMutex;
    std::vector<std::unique_ptr<Workspace>> spare;
    int n = 0;
    std::vector<int> updateOffsets;  // updates of supernode s: updates[updateOffsets[s] .. updateOffsets[s + 1])
    std::vector<Update> updates;     // in the order cholmod_super_numeric applies them
    Units units;
    size_t largestUpdate = 1;  // entries of the largest update matrix of a supernode taken whole
    std::vector<Split> splits;
    std::vector<int> splitOf;                    // per unit: its place in splits, -1 when taken whole
    std::vector<SplitBuffer> spareSplitBuffers;  // under spareMutex
};

namespace {

const int* intArray(const void* p)
{
    return static_cast<const int*>(p);
}

// Replays the pending-descendant lists of cholmod_super_numeric on the pattern: supernode s takes
// the descendants of its list from the head, each moves on to the head of the list of the next
// supernode its rows reach, and s joins its parent's list once factorised. Fills the updates and
// each supernode's estimated work and parent; false on a pattern that does not hold together.
bool replayLists(const cholmod_factor* L, splm_supernodal_plan& plan, std::vector<double>& work,
                 std::vector<int>& parent)
{
    const int nsuper = int(L->nsuper);
    const int n = int(L->n);
    const int* super = intArray(L->super);
    const int* pi = intArray(L->pi);
    const int* Ls = intArray(L->s);
    std::vector<int> superOf(size_t(n), -1);
    for (int s = 0; s < nsuper; ++s)
        for (int k = super[s]; k < super[s + 1]; ++k)
            superOf[size_t(k)] = s;
    std::vector<int> head(size_t(nsuper), -1), next(size_t(nsuper), -1), position(size_t(nsuper), 0);
    work.assign(size_t(nsuper), 0.0);
    parent.assign(size_t(nsuper), -1);
    plan.updateOffsets.assign(size_t(nsuper) + 1, 0);
    const auto reaches = [&](int row, int after) {
        const int s = row >= 0 && row < n ? superOf[size_t(row)] : -1;
        return s > after ? s : -1;
    };
    for (int s = 0; s < nsuper; ++s) {
        const int k2 = super[s + 1];
        const int nscol = k2 - super[s];
        const int nsrow = pi[s + 1] - pi[s];
        plan.updateOffsets[size_t(s)] = int(plan.updates.size());
        for (int d = head[size_t(s)], following = -1; d >= 0; d = following) {
            const int first = pi[d];
            const int end = pi[d + 1];
            const int from = first + position[size_t(d)];
            int to = from;
            while (to < end && Ls[to] < k2)
                ++to;
            if (to == from)
                return false;
            const int rowsInColumns = to - from;
            const int rowsBelow = end - from;
            plan.updates.push_back({d, position[size_t(d)], rowsInColumns});
            work[size_t(s)] += double(super[d + 1] - super[d]) * rowsInColumns * rowsBelow;
            following = next[size_t(d)];
            position[size_t(d)] = to - first;
            if (to < end) {
                const int ancestor = reaches(Ls[to], s);
                if (ancestor < 0)
                    return false;
                next[size_t(d)] = head[size_t(ancestor)];
                head[size_t(ancestor)] = d;
            }
        }
        work[size_t(s)] += double(nscol) * nscol * nscol / 3.0 + double(nsrow - nscol) * nscol * nscol;
        if (nsrow > nscol) {
            const int p = reaches(Ls[pi[s] + nscol], s);
            if (p < 0)
                return false;
            position[size_t(s)] = nscol;
            next[size_t(s)] = head[size_t(p)];
            head[size_t(p)] = s;
            parent[size_t(s)] = p;
        }
        head[size_t(s)] = -1;
    }
    plan.updateOffsets[size_t(nsuper)] = int(plan.updates.size());
    return true;
}

// Cuts the tree into units: every branch whose work is at most a share of the whole becomes one
// unit (the largest such branches), and every supernode above them a unit of its own.
Units cutIntoUnits(const std::vector<double>& work, const std::vector<int>& parent, int workers)
{
    const int nsuper = int(work.size());
    std::vector<double> branch(work);
    double total = 0.0;
    for (int s = 0; s < nsuper; ++s) {
        if (parent[size_t(s)] >= 0)
            branch[size_t(parent[size_t(s)])] += branch[size_t(s)];
        else
            total += branch[size_t(s)];
    }
    const double share = total / (kBranchesPerWorker * std::max(workers, 1));
    std::vector<int> unitOf(size_t(nsuper), -1);
    Units units;
    std::vector<double> unitWork;
    for (int s = nsuper - 1; s >= 0; --s) {
        const int p = parent[size_t(s)];
        if (p >= 0 && branch[size_t(p)] <= share) {
            unitOf[size_t(s)] = unitOf[size_t(p)];
            continue;
        }
        unitOf[size_t(s)] = int(unitWork.size());
        const bool lone = branch[size_t(s)] > share;
        unitWork.push_back(lone ? work[size_t(s)] : branch[size_t(s)]);
        units.lone.push_back(char(lone));
    }
    const int nUnits = int(unitWork.size());
    units.offsets.assign(size_t(nUnits) + 1, 0);
    for (int s = 0; s < nsuper; ++s)
        ++units.offsets[size_t(unitOf[size_t(s)]) + 1];
    for (int u = 0; u < nUnits; ++u)
        units.offsets[size_t(u) + 1] += units.offsets[size_t(u)];
    units.supernodes.resize(size_t(nsuper));
    std::vector<int> fill(units.offsets.begin(), units.offsets.end() - 1);
    for (int s = 0; s < nsuper; ++s)
        units.supernodes[size_t(fill[size_t(unitOf[size_t(s)])]++)] = s;
    units.parent.assign(size_t(nUnits), -1);
    units.waits.assign(size_t(nUnits), 0);
    for (int s = 0; s < nsuper; ++s) {
        const int p = parent[size_t(s)];
        if (p < 0 || unitOf[size_t(s)] == unitOf[size_t(p)])
            continue;
        units.parent[size_t(unitOf[size_t(s)])] = unitOf[size_t(p)];
        ++units.waits[size_t(unitOf[size_t(p)])];
    }
    for (int u = 0; u < nUnits; ++u)
        if (units.waits[size_t(u)] == 0)
            units.firstReady.push_back(u);
    std::stable_sort(units.firstReady.begin(), units.firstReady.end(),
                     [&](int a, int b) { return unitWork[size_t(a)] > unitWork[size_t(b)]; });
    return units;
}

// The pattern of one supernode and its place in the factor.
struct Supernode {
    int k1, k2, nscol, psi, psx, nsrow;
    Supernode(const cholmod_factor& L, int s)
    {
        const int* super = intArray(L.super);
        const int* pi = intArray(L.pi);
        k1 = super[s];
        k2 = super[s + 1];
        nscol = k2 - k1;
        psi = pi[s];
        psx = intArray(L.px)[s];
        nsrow = pi[s + 1] - psi;
    }
};

// Sets map[row] to the row's place in the supernode, for each of its rows.
void mapRows(const cholmod_factor& L, const Supernode& at, int* map)
{
    const int* Ls = intArray(L.s);
    for (int k = 0; k < at.nsrow; ++k)
        map[Ls[at.psi + k]] = k;
}

// Clears columns [from, to) of the supernode and copies S's columns into them (map: mapRows).
void clearAndCopy(const cholmod_sparse& S, const cholmod_factor& L, const Supernode& at, const int* map, int from,
                  int to)
{
    double* Lx = static_cast<double*>(L.x);
    const int* Sp = intArray(S.p);
    const int* Si = intArray(S.i);
    const double* Sx = static_cast<const double*>(S.x);
    std::fill(Lx + at.psx + size_t(from) * size_t(at.nsrow), Lx + at.psx + size_t(to) * size_t(at.nsrow), 0.0);
    for (int k = at.k1 + from; k < at.k1 + to; ++k)
        for (int p = Sp[k]; p < Sp[k + 1]; ++p) {
            const int i = Si[p];
            if (i < k)
                continue;
            const int row = map[i];
            if (row >= 0 && row < at.nsrow)
                Lx[row + (at.psx + (k - at.k1) * at.nsrow)] = Sx[p];
        }
}

// The rows of a descendant's update: their count in the supernode's columns (ndrow1) and in all
// (ndrow2), and where they start.
struct UpdateRows {
    int ndcol, ndrow, ndrow1, ndrow2, pdi1, pdx1;
    UpdateRows(const cholmod_factor& L, const Update& update)
    {
        const int* super = intArray(L.super);
        const int* pi = intArray(L.pi);
        const int d = update.descendant;
        ndcol = super[d + 1] - super[d];
        ndrow = pi[d + 1] - pi[d];
        ndrow1 = update.rowsInColumns;
        ndrow2 = ndrow - update.offset;
        pdi1 = pi[d] + update.offset;
        pdx1 = intArray(L.px)[d] + update.offset;
    }
};

// The update matrix C (ndrow2 by ndrow1, its upper triangle left alone) of a finished descendant.
void updateMatrix(const cholmod_factor& L, const UpdateRows& r, double* C)
{
    const double* Lx = static_cast<const double*>(L.x);
    const double one = 1.0, zero = 0.0;
    int ndrow1 = r.ndrow1, ndrow2 = r.ndrow2, ndcol = r.ndcol, ndrow = r.ndrow;
    int ndrow3 = ndrow2 - ndrow1;
    dsyrk_("L", "N", &ndrow1, &ndcol, &one, Lx + r.pdx1, &ndrow, &zero, C, &ndrow2);
    if (ndrow3 > 0)
        dgemm_("N", "C", &ndrow3, &ndrow1, &ndcol, &one, Lx + r.pdx1 + ndrow1, &ndrow, Lx + r.pdx1, &ndrow, &zero,
               C + ndrow1, &ndrow2);
}

// Subtracts C from the supernode's columns [from, to) (map: mapRows; relativeMap: room for ndrow2).
void subtract(const cholmod_factor& L, const Supernode& at, const UpdateRows& r, const double* C, const int* map,
              int* relativeMap, int from, int to)
{
    const int* Ls = intArray(L.s);
    double* Lx = static_cast<double*>(L.x);
    for (int i = 0; i < r.ndrow2; ++i)
        relativeMap[i] = map[Ls[r.pdi1 + i]];
    for (int j = 0; j < r.ndrow1; ++j) {
        const int column = relativeMap[j];  // rising with j
        if (column < from)
            continue;
        if (column >= to)
            break;
        double* entries = Lx + (at.psx + column * at.nsrow);
        const double* c = C + size_t(r.ndrow2) * size_t(j);
        for (int i = j; i < r.ndrow2; ++i)
            entries[relativeMap[i]] -= c[i];
    }
}

// dpotrf on the diagonal block, then dtrsm below it; false when the block is not positive definite.
bool factorDiagonal(const cholmod_factor& L, const Supernode& at)
{
    double* Lx = static_cast<double*>(L.x);
    const double one = 1.0;
    int nscol = at.nscol, nsrow = at.nsrow, info = 0;
    dpotrf_("L", &nscol, Lx + at.psx, &nsrow, &info);
    if (info != 0)
        return false;
    int below = nsrow - nscol;
    if (below > 0)
        dtrsm_("R", "L", "C", "N", &below, &nscol, &one, Lx + at.psx, &nsrow, Lx + at.psx + nscol, &nsrow);
    return true;
}

// cholmod_super_numeric's steps for supernode s, once its descendants are done: clear it, copy
// its columns of S, subtract each descendant's update in the planned order, then dpotrf on the
// diagonal block and dtrsm below it. False when the diagonal block is not positive definite.
bool factorSupernode(int s, const cholmod_sparse& S, const cholmod_factor& L, const splm_supernodal_plan& plan,
                     Workspace& w)
{
    const Supernode at(L, s);
    mapRows(L, at, w.map.data());
    clearAndCopy(S, L, at, w.map.data(), 0, at.nscol);
    for (int u = plan.updateOffsets[size_t(s)]; u < plan.updateOffsets[size_t(s) + 1]; ++u) {
        const UpdateRows rows(L, plan.updates[size_t(u)]);
        updateMatrix(L, rows, w.update.get());
        subtract(L, at, rows, w.update.get(), w.map.data(), w.relativeMap.data(), 0, at.nscol);
    }
    return factorDiagonal(L, at);
}

// Even chunks of [0, count) by weight: at most `chunks` of them, boundaries rising.
template <typename Weight>
std::vector<int> evenChunks(int count, int chunks, Weight weight)
{
    double total = 0.0;
    for (int i = 0; i < count; ++i)
        total += weight(i);
    std::vector<int> bounds(1, 0);
    double sum = 0.0;
    for (int i = 0; i < count; ++i) {
        sum += weight(i);
        if (i + 1 < count && sum >= total * double(bounds.size()) / chunks)
            bounds.push_back(i + 1);
    }
    bounds.push_back(count);
    return bounds;
}

// Takes apart the lone supernodes whose updates are worth sharing out.
void planSplits(const cholmod_factor& L, splm_supernodal_plan& plan, int workers)
{
    const Units& units = plan.units;
    plan.splitOf.assign(units.parent.size(), -1);
    for (size_t u = 0; u < units.parent.size(); ++u) {
        if (!units.lone[u])
            continue;
        const int s = units.supernodes[size_t(units.offsets[u])];
        const int first = plan.updateOffsets[size_t(s)];
        const int count = plan.updateOffsets[size_t(s) + 1] - first;
        std::vector<double> flops(static_cast<size_t>(count));
        double total = 0.0;
        Split split;
        split.supernode = s;
        split.offsets.assign(size_t(count) + 1, 0);
        for (int i = 0; i < count; ++i) {
            const UpdateRows rows(L, plan.updates[size_t(first + i)]);
            flops[size_t(i)] = double(rows.ndcol) * rows.ndrow1 * rows.ndrow2;
            total += flops[size_t(i)];
            split.offsets[size_t(i) + 1] = split.offsets[size_t(i)] + size_t(rows.ndrow1) * size_t(rows.ndrow2);
        }
        if (count < 2 || total < kSplitFlops)
            continue;
        const int chunks = kChunksPerWorker * std::max(workers, 1);
        split.productChunks = evenChunks(count, chunks, [&](int i) { return flops[size_t(i)]; });
        for (int& bound : split.productChunks)
            bound += first;
        const Supernode at(L, s);
        split.columnChunks = evenChunks(at.nscol, chunks, [&](int column) { return double(at.nsrow - column); });
        plan.splitOf[u] = int(plan.splits.size());
        plan.splits.push_back(std::move(split));
    }
    // A thread's own update matrix serves only the supernodes taken whole, whose updates are
    // mostly far smaller than those of the split ones.
    std::vector<char> split(plan.updateOffsets.size(), 0);
    for (const Split& taken : plan.splits)
        split[size_t(taken.supernode)] = 1;
    for (size_t s = 0; s + 1 < plan.updateOffsets.size(); ++s)
        if (!split[s])
            for (int u = plan.updateOffsets[s]; u < plan.updateOffsets[s + 1]; ++u) {
                const UpdateRows rows(L, plan.updates[size_t(u)]);
                plan.largestUpdate = std::max(plan.largestUpdate, size_t(rows.ndrow1) * size_t(rows.ndrow2));
            }
}

}  // namespace

splm_supernodal_plan* splm_supernodal_plan_create(const cholmod_factor* L, int workers)
{
    if (!L || !L->is_super || L->itype != CHOLMOD_INT || L->nsuper < 2)
        return nullptr;
    splm_supernodal_plan* plan = new splm_supernodal_plan;
    plan->n = int(L->n);
    std::vector<double> work;
    std::vector<int> parent;
    if (!replayLists(L, *plan, work, parent)) {
        delete plan;
        return nullptr;
    }
    plan->units = cutIntoUnits(work, parent, workers);
    if (plan->units.parent.size() < 2) {
        delete plan;
        return nullptr;
    }
    planSplits(*L, *plan, workers);
    return plan;
}

void splm_supernodal_plan_release(splm_supernodal_plan** plan)
{
    delete *plan;
    *plan = nullptr;
}

namespace {

// A piece of work of one factorisation: a unit taken whole, or a step of a split supernode.
enum class Step { Whole, Products, Subtractions, Diagonal };
struct Task {
    Step step;
    int unit;
    int chunk;
};

// One factorisation under way: what is ready, what each unit still waits for, and the update
// matrices of the split supernodes being worked on.
class Run {
public:
    Run(const cholmod_sparse& S, cholmod_factor& L, splm_supernodal_plan& plan)
        : S_(S),
          L_(L),
          plan_(plan),
          waits_(plan.units.waits),
          pending_(plan.units.parent.size(), 0),
          buffers_(plan.splits.size())
    {
        for (auto unit = plan.units.firstReady.rbegin(); unit != plan.units.firstReady.rend(); ++unit)
            makeReady(*unit);
    }

    bool failed() const { return failed_; }

    // Takes tasks until every unit is finished or one has failed.
    void work()
    {
        std::unique_ptr<Workspace> workspace = takeWorkspace();
        std::unique_lock<std::mutex> lock(mutex_);
        const int nUnits = int(plan_.units.parent.size());
        for (;;) {
            changed_.wait(lock, [&] { return failed_ || finished_ == nUnits || !ready_.empty(); });
            if (failed_ || ready_.empty())
                break;
            const Task task = ready_.back();
            ready_.pop_back();
            lock.unlock();
            const bool done = perform(task, *workspace);
            lock.lock();
            if (!done)
                failed_ = true;
            else
                taskDone(task);
            changed_.notify_all();
        }
        lock.unlock();
        giveBack(std::move(workspace));
    }

private:
    std::unique_ptr<Workspace> takeWorkspace()
    {
        {
            std::lock_guard<std::mutex> lock(plan_.spareMutex);
            if (!plan_.spare.empty()) {
                std::unique_ptr<Workspace> workspace = std::move(plan_.spare.back());
                plan_.spare.pop_back();
                return workspace;
            }
        }
        return std::unique_ptr<Workspace>(new Workspace(plan_.n, plan_.largestUpdate));
    }

    void giveBack(std::unique_ptr<Workspace> workspace)
    {
        std::lock_guard<std::mutex> lock(plan_.spareMutex);
        plan_.spare.push_back(std::move(workspace));
    }

    const Split* splitOf(int unit) const
    {
        const int at = plan_.splitOf[size_t(unit)];
        return at < 0 ? nullptr : &plan_.splits[size_t(at)];
    }

    // Under the lock: the unit waits for nothing more.
    void makeReady(int unit)
    {
        const Split* split = splitOf(unit);
        if (!split) {
            ready_.push_back({Step::Whole, unit, 0});
            return;
        }
        // The smallest spare buffer that holds the split's update matrices, or a new one of its size.
        SplitBuffer& buffer = buffers_[size_t(plan_.splitOf[size_t(unit)])];
        const size_t needed = split->offsets.back();
        {
            std::lock_guard<std::mutex> lock(plan_.spareMutex);
            std::vector<SplitBuffer>& spare = plan_.spareSplitBuffers;
            auto best = spare.end();
            for (auto candidate = spare.begin(); candidate != spare.end(); ++candidate)
                if (candidate->capacity >= needed && (best == spare.end() || candidate->capacity < best->capacity))
                    best = candidate;
            if (best != spare.end()) {
                buffer = std::move(*best);
                spare.erase(best);
            }
        }
        if (!buffer.values)
            buffer = SplitBuffer{needed, std::unique_ptr<double[]>(new double[std::max<size_t>(needed, 1)])};
        pushChunks(unit, Step::Products, int(split->productChunks.size()) - 1);
    }

    void pushChunks(int unit, Step step, int chunks)
    {
        pending_[size_t(unit)] = chunks;
        for (int chunk = chunks - 1; chunk >= 0; --chunk)
            ready_.push_back({step, unit, chunk});
    }

    // Under the lock: what follows a task done.
    void taskDone(const Task& task)
    {
        const int unit = task.unit;
        if (task.step == Step::Products || task.step == Step::Subtractions) {
            if (--pending_[size_t(unit)] > 0)
                return;
            const Split& split = *splitOf(unit);
            if (task.step == Step::Products) {
                pushChunks(unit, Step::Subtractions, int(split.columnChunks.size()) - 1);
            } else {
                std::lock_guard<std::mutex> lock(plan_.spareMutex);
                plan_.spareSplitBuffers.push_back(std::move(buffers_[size_t(plan_.splitOf[size_t(unit)])]));
                ready_.push_back({Step::Diagonal, unit, 0});
            }
            return;
        }
        ++finished_;
        const int parent = plan_.units.parent[size_t(unit)];
        if (parent >= 0 && --waits_[size_t(parent)] == 0)
            makeReady(parent);
    }

    bool perform(const Task& task, Workspace& w)
    {
        const Units& units = plan_.units;
        if (task.step == Step::Whole) {
            for (int at = units.offsets[size_t(task.unit)]; at < units.offsets[size_t(task.unit) + 1]; ++at)
                if (!factorSupernode(units.supernodes[size_t(at)], S_, L_, plan_, w))
                    return false;
            return true;
        }
        const Split& split = *splitOf(task.unit);
        const int s = split.supernode;
        const Supernode at(L_, s);
        const int first = plan_.updateOffsets[size_t(s)];
        const double* buffer = buffers_[size_t(plan_.splitOf[size_t(task.unit)])].values.get();
        if (task.step == Step::Products) {
            for (int u = split.productChunks[size_t(task.chunk)]; u < split.productChunks[size_t(task.chunk) + 1]; ++u)
                updateMatrix(L_, UpdateRows(L_, plan_.updates[size_t(u)]),
                             const_cast<double*>(buffer) + split.offsets[size_t(u - first)]);
            return true;
        }
        if (task.step == Step::Subtractions) {
            const int from = split.columnChunks[size_t(task.chunk)];
            const int to = split.columnChunks[size_t(task.chunk) + 1];
            mapRows(L_, at, w.map.data());
            clearAndCopy(S_, L_, at, w.map.data(), from, to);
            for (int u = first; u < plan_.updateOffsets[size_t(s) + 1]; ++u)
                subtract(L_, at, UpdateRows(L_, plan_.updates[size_t(u)]), buffer + split.offsets[size_t(u - first)],
                         w.map.data(), w.relativeMap.data(), from, to);
            return true;
        }
        return factorDiagonal(L_, at);
    }

    const cholmod_sparse& S_;
    cholmod_factor& L_;
    splm_supernodal_plan& plan_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Task> ready_;  // taken from the back
    std::vector<int> waits_;
    std::vector<int> pending_;          // per unit: chunks of its current step under way
    std::vector<SplitBuffer> buffers_;  // per split
    int finished_ = 0;
    bool failed_ = false;
};

}  // namespace

int splm_supernodal_plan_split_count(const splm_supernodal_plan& plan)
{
    return int(plan.splits.size());
}

int splm_supernodal_factorize(const cholmod_sparse* S, cholmod_factor* L, splm_supernodal_plan& plan)
{
    Run run(*S, *L, plan);
    const int workers = std::max(1, QThreadPool::globalInstance()->maxThreadCount());
    Parallel::forEachIndex(workers, [&](int) { run.work(); });
    if (run.failed())
        return 0;
    L->minor = L->n;
    return 1;
}
