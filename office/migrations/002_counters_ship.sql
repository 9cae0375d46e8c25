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
  PERFORM pg_advisory_xact_lock(hashtext('public.operations months'));
  EXECUTE format('CREATE TABLE IF NOT EXISTS public.%I PARTITION OF public.operations FOR VALUES FROM (%L) TO (%L)',
                 name, first, (first + interval '1 month')::date);
END
$$;
REVOKE ALL ON FUNCTION operations_month(date) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION operations_month(date) TO counter;

-- A batch of a journal's rows, each in its latest state at the counter: a row is
-- applied only when its change number is higher than the one held, so a batch sent
-- twice (or late) changes nothing. Runs as the counter: row-level security decides
-- which journals it may write. The caller's transaction makes the batch whole.
-- Returns how many rows were written.
CREATE FUNCTION ship_batch(journal uuid, batch jsonb) RETURNS integer
LANGUAGE plpgsql SET search_path = pg_catalog, pg_temp AS $$
DECLARE
  r record;
  written integer := 0;
  n integer;
BEGIN
  INSERT INTO public.journals (journal_id) VALUES (journal) ON CONFLICT (journal_id) DO NOTHING;
  FOR r IN SELECT * FROM jsonb_to_recordset(batch) AS x(
      row_id bigint, version bigint, at timestamp, kind smallint, number_masked text, last4 text,
      total integer, net integer, tax integer, approval text, original_approval text, state smallint,
      settled_at timestamp)
  LOOP
    -- Found whatever its month: a row stays in the month it was first shipped for.
    UPDATE public.operations o SET version = r.version, at = r.at, kind = r.kind,
        number_masked = r.number_masked, last4 = r.last4, total = r.total, net = r.net, tax = r.tax,
        approval = r.approval, original_approval = r.original_approval, state = r.state,
        settled_at = r.settled_at, shipped_at = now()
      WHERE o.journal_id = journal AND o.row_id = r.row_id AND o.version < r.version;
    GET DIAGNOSTICS n = ROW_COUNT;
    IF n = 0 AND NOT EXISTS (SELECT 1 FROM public.operations o
                             WHERE o.journal_id = journal AND o.row_id = r.row_id) THEN
      PERFORM public.operations_month(r.at::date);
      INSERT INTO public.operations (journal_id, row_id, month, version, at, kind, number_masked, last4, total,
                                     net, tax, approval, original_approval, state, settled_at)
        VALUES (journal, r.row_id, date_trunc('month', r.at)::date, r.version, r.at, r.kind, r.number_masked,
                r.last4, r.total, r.net, r.tax, r.approval, r.original_approval, r.state, r.settled_at);
      n := 1;
    END IF;
    written := written + n;
  END LOOP;
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
