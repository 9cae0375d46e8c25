-- What the counters may do: ship their journals' rows through ship_batch, read
-- their own rows back, nothing else. Every counter's role is a member of `counter`
-- (vek-office add-counter makes them); the office's own role owns the tables and
-- the functions.

DO $$
BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'counter') THEN
    CREATE ROLE counter NOLOGIN;
  END IF;
END
$$;

-- A journal's rows by change number: the shipper asks where the office stands.
CREATE INDEX operations_journal_version ON operations (journal_id, version);

-- The month a row needs, made when its first row is shipped: counters can't create
-- tables, so this runs as the office. One at a time: two counters shipping the
-- first row of a month at once would both try to make it.
CREATE FUNCTION operations_month(month date) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
  first date := date_trunc('month', month)::date;
  name text := format('operations_%s', to_char(first, 'YYYY_MM'));
BEGIN
  IF to_regclass(format('public.%I', name)) IS NOT NULL THEN
    RETURN;
  END IF;
  -- A counter makes only months a clock may show (one reset to 1970 included), so
  -- no role can fill the schema with partitions.
  IF first < date '1970-01-01' OR first > now() + interval '10 years' THEN
    RAISE EXCEPTION 'no month % for a counter''s rows (is its clock right?)', first;
  END IF;
  PERFORM pg_advisory_xact_lock(hashtext('public.operations months'));
  IF to_regclass(format('public.%I', name)) IS NOT NULL THEN
    RETURN;  -- made meanwhile by the one we waited for
  END IF;
  EXECUTE format('CREATE TABLE IF NOT EXISTS public.%I PARTITION OF public.operations FOR VALUES FROM (%L) TO (%L)',
                 name, first, (first + interval '1 month')::date);
END
$$;
REVOKE ALL ON FUNCTION operations_month(date) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION operations_month(date) TO counter;

-- A batch of a journal's rows, each in its latest state at the counter: a row is
-- applied only when its change number is higher than the one held, so a batch sent
-- twice (or late) changes nothing. Runs as the counter: row-level security decides
-- which journals it may write. The caller's transaction makes the batch whole. A
-- few statements for the whole batch, not a few a row: the office's time is the
-- counter's wait. Returns how many rows were written.
CREATE FUNCTION ship_batch(journal uuid, batch jsonb) RETURNS integer
LANGUAGE plpgsql SET search_path = pg_catalog, pg_temp AS $$
DECLARE
  written integer;
  first date;
BEGIN
  -- One batch of a journal at a time (the service and a `--once` may overlap), so
  -- that whether a row is new to the office is certain.
  PERFORM pg_advisory_xact_lock(hashtext('journal ' || journal::text));
  INSERT INTO public.journals (journal_id) VALUES (journal) ON CONFLICT (journal_id) DO NOTHING;
  -- The months the rows need, made before any row is touched: making one locks the
  -- whole table, which must not wait behind this batch's own row locks.
  FOR first IN SELECT DISTINCT date_trunc('month', x.at)::date FROM jsonb_to_recordset(batch) AS x(at timestamp)
  LOOP
    PERFORM public.operations_month(first);
  END LOOP;
  -- Each row's latest state in the batch (should it hold a row twice): a row the
  -- office holds is found whatever its month and moved to the month of its time now
  -- (an operation first shipped in flight before midnight at a month's end and
  -- answered after it is the new month's, as its counter's closing counts it); a row
  -- it doesn't hold is added. Both see the rows as they were before this statement.
  WITH s AS (
      SELECT DISTINCT ON (x.row_id) x.* FROM jsonb_to_recordset(batch) AS x(
          row_id bigint, version bigint, at timestamp, kind smallint, number_masked text, last4 text,
          total integer, net integer, tax integer, approval text, original_approval text, state smallint,
          settled_at timestamp)
        ORDER BY x.row_id, x.version DESC),
    changed AS (
      UPDATE public.operations o SET month = date_trunc('month', s.at)::date, version = s.version, at = s.at,
          kind = s.kind, number_masked = s.number_masked, last4 = s.last4, total = s.total, net = s.net,
          tax = s.tax, approval = s.approval, original_approval = s.original_approval, state = s.state,
          settled_at = s.settled_at, shipped_at = now()
        FROM s
        WHERE o.journal_id = journal AND o.row_id = s.row_id AND o.version < s.version
        RETURNING 1),
    added AS (
      INSERT INTO public.operations (journal_id, row_id, month, version, at, kind, number_masked, last4, total,
                                     net, tax, approval, original_approval, state, settled_at)
        SELECT journal, s.row_id, date_trunc('month', s.at)::date, s.version, s.at, s.kind, s.number_masked,
               s.last4, s.total, s.net, s.tax, s.approval, s.original_approval, s.state, s.settled_at
        FROM s
        WHERE NOT EXISTS (SELECT 1 FROM public.operations o WHERE o.journal_id = journal AND o.row_id = s.row_id)
        RETURNING 1)
  SELECT (SELECT count(*) FROM changed) + (SELECT count(*) FROM added) INTO written;
  RETURN written;
END
$$;
REVOKE ALL ON FUNCTION ship_batch(uuid, jsonb) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION ship_batch(uuid, jsonb) TO counter;

-- A counter's role sees its own counter, journals and operations, adds journals and
-- operations of its own and changes its own operations; it never deletes.
ALTER TABLE counters ENABLE ROW LEVEL SECURITY;
ALTER TABLE journals ENABLE ROW LEVEL SECURITY;
ALTER TABLE operations ENABLE ROW LEVEL SECURITY;

CREATE POLICY counter_itself ON counters FOR SELECT TO counter USING (role = current_user);
CREATE POLICY journal_read ON journals FOR SELECT TO counter USING (role = current_user);
CREATE POLICY journal_add ON journals FOR INSERT TO counter WITH CHECK (role = current_user);
CREATE POLICY operation_read ON operations FOR SELECT TO counter
  USING (journal_id IN (SELECT j.journal_id FROM journals j WHERE j.role = current_user));
CREATE POLICY operation_add ON operations FOR INSERT TO counter
  WITH CHECK (journal_id IN (SELECT j.journal_id FROM journals j WHERE j.role = current_user));
CREATE POLICY operation_change ON operations FOR UPDATE TO counter
  USING (journal_id IN (SELECT j.journal_id FROM journals j WHERE j.role = current_user))
  WITH CHECK (journal_id IN (SELECT j.journal_id FROM journals j WHERE j.role = current_user));

REVOKE ALL ON counters, journals, operations, schema_migrations FROM PUBLIC;
GRANT SELECT ON counters TO counter;
GRANT SELECT, INSERT ON journals TO counter;
GRANT SELECT, INSERT, UPDATE ON operations TO counter;
