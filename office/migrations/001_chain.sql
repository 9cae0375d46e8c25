-- A chain's counters, the journals they keep and every operation of those journals.
-- Applied once, in a transaction, by vek-office migrate (which records it in
-- schema_migrations).

-- A counter: its PostgreSQL role (made by vek-office add-counter, one a counter),
-- its terminal ID and the shop's business number.
CREATE TABLE counters (
  role name PRIMARY KEY,
  terminal_id text NOT NULL,
  business_number text NOT NULL,
  added_at timestamptz NOT NULL DEFAULT now(),
  UNIQUE (terminal_id, business_number)
);

-- A journal, by the identity made when the counter created it: a counter whose
-- journal was made anew ships under a new identity and keeps its old rows.
CREATE TABLE journals (
  journal_id uuid PRIMARY KEY,
  role name NOT NULL DEFAULT current_user REFERENCES counters (role),
  first_shipped timestamptz NOT NULL DEFAULT now()
);

-- An operation, keyed by its journal and its row there. `version` is the journal's
-- change number of the row's latest state (higher is later): a state shipped late
-- never overwrites a later one. `state` is the journal's: 0 receipt owed,
-- 1 printed, 2 printing failed, 3 in flight, 4 unknown, 5 settled as charged,
-- 6 settled as not charged, 7 withdrawn (the service refused it after it was sent:
-- no operation). Times are the counter's local time. The instrument number is kept
-- masked, as the counter's journal listing shows it; `last4` is its last four
-- characters, to search by. Texts are UTF-8. Partitioned by month (`month`, the
-- first of the month of its `at`), moved along should a later state's time fall in
-- another month.
CREATE TABLE operations (
  journal_id uuid NOT NULL,
  row_id bigint NOT NULL,
  month date NOT NULL,
  version bigint NOT NULL,
  at timestamp NOT NULL,
  kind smallint NOT NULL CHECK (kind IN (1, 2, 11, 12)),
  number_masked text NOT NULL,
  last4 text NOT NULL,
  total integer NOT NULL,
  net integer NOT NULL,
  tax integer NOT NULL,
  approval text NOT NULL,
  original_approval text NOT NULL,
  state smallint NOT NULL CHECK (state BETWEEN 0 AND 7),
  settled_at timestamp,
  shipped_at timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (journal_id, row_id, month)
) PARTITION BY RANGE (month);
CREATE INDEX operations_at ON operations (at);
CREATE INDEX operations_approval ON operations (approval);
CREATE INDEX operations_last4 ON operations (last4);
-- Months come and go as partitions, named operations_YYYY_MM: the month a row
-- needs is made when it is first shipped; an old month is detached or dropped whole.
